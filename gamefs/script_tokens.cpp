#include "gamefs/script_tokens.h"

#include <algorithm>
#include <array>

// What each byte is to the tokenizer; a slash starts a comment only before
// another slash or a star. Every control byte, NUL included, is a blank.
enum CharClass : unsigned char { word_char, blank, line_break, slash, brace, mark };

using CharClasses = std::array<CharClass, 256>;

static constexpr CharClasses classes_with(CharClass marks)
{
    CharClasses classes{};
    for (int c = 0; c <= ' '; c++)
        classes[c] = blank;
    classes['\n'] = line_break;
    classes['/'] = slash;
    classes['{'] = classes['}'] = brace;
    classes['('] = classes[')'] = classes[','] = marks;
    return classes;
}

static constexpr CharClasses with_marks = classes_with(mark),
                             without_marks = classes_with(word_char);

// Without marks, "(", ")" and "," are word bytes.
static const CharClasses& classes_of(const script_reader* reader)
{
    return reader->marks ? with_marks : without_marks;
}

static CharClass class_of(char c, const CharClasses& classes)
{
    return classes[static_cast<unsigned char>(c)];
}

// Whether the slash at `at` opens a comment.
static bool comment_starts(std::string_view text, size_t at)
{
    return at + 1 < text.size() && (text[at + 1] == '/' || text[at + 1] == '*');
}

// Skips blanks and comments; returns whether a line break was among them.
// An unterminated block comment runs to the end of the text.
static bool skip_gap(script_reader* reader)
{
    std::string_view text = reader->text;
    const CharClasses& classes = classes_of(reader);
    size_t at = reader->at;
    bool new_line = false;
    while (at < text.size()) {
        CharClass c = class_of(text[at], classes);
        if (c == blank || c == line_break) {
            new_line |= c == line_break;
            at++;
        } else if (c == slash && comment_starts(text, at) && text[at + 1] == '/') {
            at = std::min(text.find('\n', at), text.size());
        } else if (c == slash && comment_starts(text, at)) {
            size_t close = std::min(text.find("*/", at + 2), text.size());
            new_line |= text.substr(at, close - at).find('\n') != std::string_view::npos;
            at = std::min(close + 2, text.size());
        } else {
            break;
        }
    }
    reader->at = at;
    return new_line;
}

// A quoted word ends at its quote or, unterminated, at the end of its line.
static std::string_view read_quoted(script_reader* reader)
{
    std::string_view text = reader->text;
    size_t start = reader->at + 1;
    size_t close = std::min(text.find_first_of("\"\n", start), text.size());
    reader->at = close < text.size() && text[close] == '"' ? close + 1 : close;
    return text.substr(start, close - start);
}

// A bare word ends at a blank, a brace, a comment or a mark; a quote inside
// it is part of it.
static std::string_view read_word(script_reader* reader)
{
    std::string_view text = reader->text;
    const CharClasses& classes = classes_of(reader);
    size_t start = reader->at, at = start;
    for (; at < text.size(); at++) {
        CharClass c = class_of(text[at], classes);
        if (c != word_char && (c != slash || comment_starts(text, at)))
            break;
    }
    reader->at = at;
    return text.substr(start, at - start);
}

script_token script_next(script_reader* reader)
{
    script_token token;
    token.new_line = skip_gap(reader);
    if (reader->at == reader->text.size())
        return token;
    char c = reader->text[reader->at];
    if (c == '{' || c == '}' || class_of(c, classes_of(reader)) == mark) {
        token.kind = c == '{'   ? script_token_kind::open
                     : c == '}' ? script_token_kind::close
                                : script_token_kind::mark;
        token.text = reader->text.substr(reader->at++, 1);
    } else {
        token.kind = script_token_kind::word;
        token.text = c == '"' ? read_quoted(reader) : read_word(reader);
    }
    return token;
}

bool script_next_is(const script_reader* reader, char c)
{
    script_reader ahead = *reader;
    script_token token = script_next(&ahead);
    return token.kind == script_token_kind::mark && token.text[0] == c;
}

std::string_view script_argument(script_reader* reader)
{
    script_reader ahead = *reader;
    script_token token = script_next(&ahead);
    if (token.kind != script_token_kind::word || token.new_line)
        return {};
    *reader = ahead;
    return token.text;
}
