#include "mesh/scan.h"

#include <locale.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

void scan_refill(scan_source* s)
{
    size_t keep = s->at > 0 ? s->at - 1 : 0;
    memmove(s->data, s->data + keep, s->end - keep);
    s->at -= keep;
    s->end -= keep;
    size_t want = scan_block_size - s->end;
    size_t got = fread(s->data + s->end, 1, want, s->stream);
    s->end += got;
    s->drained = got < want;
    s->data[s->end] = '\0';
}

// getc: the next byte, or EOF with the end-of-file indicator set for good.
static int next_byte(scan_source* s)
{
    if (scan_ahead(s, 1) == 0) {
        s->eof = true;
        return EOF;
    }
    return s->data[s->at++];
}

// ungetc of the byte that next_byte has just returned.
static void push_back(scan_source* s)
{
    s->at--;
}

// 0 to 15 for a hex digit, 16 for anything else.
static int digit_value(int c)
{
    if (is_c_digit(c))
        return c - '0';
    c = c_lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : 16;
}

bool scan_literal(scan_source* s, char want)
{
    int c = next_byte(s);
    if (c == EOF)
        return false;
    if (c != want) {
        push_back(s);
        return false;
    }
    return true;
}

void skip_fgets_256(scan_source* s)
{
    size_t avail = scan_ahead(s, 255);
    size_t limit = avail < 255 ? avail : 255;
    const unsigned char* p = s->data + s->at;
    const void* newline = memchr(p, '\n', limit);
    s->at += newline ? size_t(static_cast<const unsigned char*>(newline) - p) + 1 : limit;
    if (!newline && limit < 255)
        s->eof = true;
}

// An optional sign; a leading 0 that under "%i" makes the number octal, or
// hex when an x or X follows (the x is consumed even if no hex digit comes
// after it); the digits of the base. A sign without digits is consumed and
// fails. The text converts as a long, saturating on overflow, which is then
// cut to int.
bool scan_int_by_glibc_rules(scan_source* s, int base, int* out)
{
    std::string text;
    int c = next_byte(s);
    if (c == '-' || c == '+') {
        text += char(c);
        c = next_byte(s);
    }
    if (c == '0') {
        text += '0';
        c = next_byte(s);
        if (base == 0)
            base = c_lower(c) == 'x' ? 16 : 8;
        if (base == 16)
            c = next_byte(s);
    }
    if (base == 0)
        base = 10;
    for (; c != EOF && digit_value(c) < base; c = next_byte(s))
        text += char(c);
    if (c != EOF)
        push_back(s);
    if (text.empty() || text == "-" || text == "+")
        return false;
    long value = 0;
    const char* first = text.data() + (text[0] == '+');
    if (std::from_chars(first, text.data() + text.size(), value, base).ec == std::errc::result_out_of_range)
        value = text[0] == '-' ? LONG_MIN : LONG_MAX;
    *out = int(value);
    return true;
}

// The letters of `word` after its first, c, which has been read: a mismatch
// is consumed with the rest and fails.
static bool take_letters(scan_source* s, int c, const char* word, std::string* text)
{
    *text += char(c);
    for (const char* w = word + 1; *w; w++) {
        c = next_byte(s);
        if (c_lower(c) != *w)
            return false;
        *text += char(c);
    }
    return true;
}

// strtof in the C locale, the conversion glibc applies to the collected
// text; any part of the text it takes makes a value.
static bool convert_real(const std::string& text, float* out)
{
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    char* end = nullptr;
    float value = strtof_l(text.c_str(), &end, c_locale);
    if (end == text.c_str())
        return false;
    *out = value;
    return true;
}

// The decimal or hex digits of "%f" after an optional sign, c being the
// next byte read: glibc takes digits (hex ones after "0x"), one point
// before the exponent, the exponent letter (e, or p after "0x") once a
// digit has come, and a sign right after the exponent letter; the first
// byte that fits none of these is pushed back. True for a hex number.
static bool take_number(scan_source* s, int c, std::string* text)
{
    char exp_char = 'e';
    bool hex = false, got_digit = false, got_dot = false, got_e = false;
    if (c == '0') {
        *text += '0';
        c = next_byte(s);
        if (c_lower(c) == 'x') {
            *text += char(c);
            hex = true;
            exp_char = 'p';
            c = next_byte(s);
        } else {
            got_digit = true;
        }
    }
    for (; c != EOF; c = next_byte(s)) {
        if (is_c_digit(c) || (hex && !got_e && digit_value(c) < 16)) {
            got_digit = true;
        } else if (got_e && text->back() == exp_char && (c == '-' || c == '+')) {
        } else if (got_digit && !got_e && c_lower(c) == exp_char) {
            c = exp_char;
            got_e = got_dot = true;
        } else if (c == '.' && !got_dot) {
            got_dot = true;
        } else {
            push_back(s);
            break;
        }
        *text += char(c);
    }
    return hex;
}

// The text is collected by glibc's rules (an optional sign; "nan", "inf" or
// "infinity" in any case, the parenthesised part of "nan(...)" left unread;
// otherwise the digits of take_number) and converted with strtof. Whatever
// strtof leaves of the text (the "e" of "1e", the "e+" of "1e+") is consumed
// all the same; a sign alone or "0x" without digits fail after being
// consumed.
bool scan_real_by_glibc_rules(scan_source* s, float* out)
{
    std::string text;
    int c = next_byte(s);
    bool sign = c == '-' || c == '+';
    if (sign) {
        text += char(c);
        c = next_byte(s);
        if (c == EOF)
            return false;
    }
    if (c_lower(c) == 'n') {
        if (!take_letters(s, c, "nan", &text))
            return false;
    } else if (c_lower(c) == 'i') {
        if (!take_letters(s, c, "inf", &text))
            return false;
        c = next_byte(s);
        if (c_lower(c) == 'i') {
            if (!take_letters(s, c, "inity", &text))
                return false;
        } else if (c != EOF) {
            push_back(s);
        }
    } else {
        bool hex = take_number(s, c, &text);
        if (text.size() == size_t(sign) + (hex ? 2 : 0))
            return false;
    }
    return convert_real(text, out);
}
