// The tokens of the games' text scripts (Quake III shaders, id Tech 4
// materials): words, quoted words, braces and, where image programs are
// written, parentheses and commas; blanks and C and C++ comments between.
#pragma once
#include <cstddef>
#include <string_view>

enum class script_token_kind { end, word, open, close, mark };

struct script_token {
    script_token_kind kind = script_token_kind::end;
    std::string_view text;  // a word's text, a quoted one without its quotes; a mark's character
    bool new_line = false;  // a line break lies between it and the token before
};

// Tokens are views into the text: nothing is allocated, as a game holds
// megabytes of scripts.
struct script_reader {
    std::string_view text;
    size_t at = 0;
    bool marks = false;  // "(", ")" and "," are tokens of their own, not parts of words
};

script_token script_next(script_reader* reader);
// Whether the next token is the mark c; the reader is left alone.
bool script_next_is(const script_reader* reader, char c);
// The word after a keyword on the keyword's line, taken from the reader;
// empty, with the reader left alone, when there is none.
std::string_view script_argument(script_reader* reader);
// keyword is in lower case; the word's ASCII letters may be in any. Inline:
// against a literal keyword most words fail on their length alone.
inline bool script_keyword(std::string_view word, std::string_view keyword)
{
    if (word.size() != keyword.size())
        return false;
    for (size_t i = 0; i < word.size(); i++) {
        char c = word[i];
        if ((c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) != keyword[i])
            return false;
    }
    return true;
}
