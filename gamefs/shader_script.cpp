#include "gamefs/shader_script.h"

#include <algorithm>
#include <array>

// One pass over the text with tokens as views into it: nothing is allocated
// but the results, as a game holds megabytes of scripts.

enum class TokenKind { end, word, open, close };

struct Token {
    TokenKind kind = TokenKind::end;
    std::string_view text;  // a word's text, a quoted one without its quotes
    bool new_line = false;  // a line break lies between it and the token before
};

struct Reader {
    std::string_view text;
    size_t at = 0;
};

// What each byte is to the tokenizer; a slash starts a comment only before
// another slash or a star. Every control byte, NUL included, is a blank.
enum CharClass : unsigned char { word_char, blank, line_break, slash, brace };

static constexpr auto char_classes = [] {
    std::array<CharClass, 256> classes{};
    for (int c = 0; c <= ' '; c++)
        classes[c] = blank;
    classes['\n'] = line_break;
    classes['/'] = slash;
    classes['{'] = classes['}'] = brace;
    return classes;
}();

static CharClass class_of(char c)
{
    return char_classes[static_cast<unsigned char>(c)];
}

// Whether the slash at `at` opens a comment.
static bool comment_starts(std::string_view text, size_t at)
{
    return at + 1 < text.size() && (text[at + 1] == '/' || text[at + 1] == '*');
}

// Skips blanks and comments; returns whether a line break was among them.
// An unterminated block comment runs to the end of the text.
static bool skip_gap(Reader* reader)
{
    std::string_view text = reader->text;
    size_t at = reader->at;
    bool new_line = false;
    while (at < text.size()) {
        CharClass c = class_of(text[at]);
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
static std::string_view read_quoted(Reader* reader)
{
    std::string_view text = reader->text;
    size_t start = reader->at + 1;
    size_t close = std::min(text.find_first_of("\"\n", start), text.size());
    reader->at = close < text.size() && text[close] == '"' ? close + 1 : close;
    return text.substr(start, close - start);
}

// A bare word ends at a blank, a brace or a comment; a quote inside it is
// part of it.
static std::string_view read_word(Reader* reader)
{
    std::string_view text = reader->text;
    size_t start = reader->at, at = start;
    for (; at < text.size(); at++) {
        CharClass c = class_of(text[at]);
        if (c != word_char && (c != slash || comment_starts(text, at)))
            break;
    }
    reader->at = at;
    return text.substr(start, at - start);
}

static Token next_token(Reader* reader)
{
    Token token;
    token.new_line = skip_gap(reader);
    if (reader->at == reader->text.size())
        return token;
    char c = reader->text[reader->at];
    if (c == '{' || c == '}') {
        token.kind = c == '{' ? TokenKind::open : TokenKind::close;
        reader->at++;
    } else {
        token.kind = TokenKind::word;
        token.text = c == '"' ? read_quoted(reader) : read_word(reader);
    }
    return token;
}

// The word after a keyword on the keyword's line, taken from the reader;
// empty, with the reader left alone, when there is none.
static std::string_view argument(Reader* reader)
{
    Reader ahead = *reader;
    Token token = next_token(&ahead);
    if (token.kind != TokenKind::word || token.new_line)
        return {};
    *reader = ahead;
    return token.text;
}

// keyword is in lower case.
static bool is_keyword(std::string_view word, std::string_view keyword)
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

// The first image of each kind met in one shader's block.
struct ShaderImages {
    std::string_view editor, diffuse, stage;
};

static void take(std::string_view* slot, std::string_view image)
{
    if (slot->empty())
        *slot = image;
}

static void read_keyword(Reader* reader, std::string_view word, size_t depth, ShaderImages* images)
{
    if (is_keyword(word, "qer_editorimage")) {
        take(&images->editor, argument(reader));
    } else if (is_keyword(word, "diffusemap")) {
        take(&images->diffuse, argument(reader));
    } else if (depth >= 2) {
        bool animated = is_keyword(word, "animmap");
        if (!animated && !is_keyword(word, "map") && !is_keyword(word, "clampmap"))
            return;
        if (animated)
            argument(reader);  // the frequency
        std::string_view image = argument(reader);
        if (!image.starts_with('$'))
            take(&images->stage, image);
    }
}

// Reads the block after a shader's opening brace up to its closing one or
// the end of the text; appends the shader when it shows an image.
static void read_shader(Reader* reader, std::string_view name, std::vector<shader_image>* out)
{
    ShaderImages images;
    size_t depth = 1;  // a text of gigabytes nests deeper than an int counts
    for (Token token = next_token(reader); token.kind != TokenKind::end;
         token = next_token(reader)) {
        if (token.kind == TokenKind::open)
            depth++;
        else if (token.kind == TokenKind::close && --depth == 0)
            break;
        else if (token.kind == TokenKind::word)
            read_keyword(reader, token.text, depth, &images);
    }
    std::string_view image = !images.editor.empty()    ? images.editor
                             : !images.diffuse.empty() ? images.diffuse
                                                       : images.stage;
    if (!name.empty() && !image.empty())
        out->push_back({name, image});
}

void parse_shader_script(std::string_view text, std::vector<shader_image>* out)
{
    Reader reader{text};
    std::string_view name;  // the last word before a block; a nameless block is read and dropped
    for (Token token = next_token(&reader); token.kind != TokenKind::end;
         token = next_token(&reader)) {
        if (token.kind == TokenKind::word) {
            name = token.text;
            continue;
        }
        if (token.kind == TokenKind::open)
            read_shader(&reader, name, out);
        name = {};
    }
}
