// Reading a stream exactly as glibc's fscanf and fgets read it, from a block
// buffer: each scan_ function reproduces one scanf directive, down to what a
// failed or partial conversion leaves consumed and to the bits of the value
// it stores. The plain decimal forms that models write are converted inline
// from the buffer; anything else goes through a port of glibc's rules.
#pragma once
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

// The stream is read in blocks; an inline conversion looks ahead at most
// scan_lookahead bytes (a token of 255 bytes and the byte after it). The
// fuzz build reads in small blocks, so that its inputs cross block ends.
#ifndef ASEVIEW_READ_BLOCK
#define ASEVIEW_READ_BLOCK (1 << 20)
#endif
constexpr size_t scan_block_size = ASEVIEW_READ_BLOCK;
constexpr size_t scan_lookahead = 256;
static_assert(scan_block_size >= 2 * scan_lookahead, "a refill must leave room for a full look-ahead");

// The unread bytes are data[at, end), followed by a NUL that stops the inline
// loops; as the input may hold NULs too, a loop that stops at one checks
// whether it is the end. A refill keeps the byte before the unread ones, so
// the byte just read can always be pushed back, as ungetc after getc can.
struct scan_source {
    FILE* stream;
    unsigned char* data;  // scan_block_size + 1 bytes
    size_t at, end;
    bool drained;  // the stream has given all it has
    bool eof;      // a read went past the last byte: the stream's end-of-file
                   // indicator as fscanf would leave it
};

// A source over the stream, which is read from its current position on.
inline scan_source scan_from(FILE* stream, unsigned char* buffer)
{
    return {stream, buffer, 0, 0, false, false};
}

// Once per block: kept out of the inlined reads.
[[gnu::cold]] void scan_refill(scan_source* s);

// The number of bytes in view from the read position: at least n unless the
// input ends first.
inline size_t scan_ahead(scan_source* s, size_t n)
{
    if (s->end - s->at < n && !s->drained)
        scan_refill(s);
    return s->end - s->at;
}

constexpr bool is_c_space(int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

constexpr bool is_c_digit(int c)
{
    return c >= '0' && c <= '9';
}

constexpr int c_lower(int c)
{
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

// Whitespace of the C locale, and what ends the C-string view of a token
// (whitespace or NUL), a bit each per byte.
constexpr unsigned char space_byte = 1, word_end_byte = 2;
constexpr std::array<unsigned char, 256> byte_classes = [] {
    std::array<unsigned char, 256> classes{};
    for (int c = 0; c < 256; c++)
        classes[c] = (is_c_space(c) ? space_byte : 0) | (is_c_space(c) || c == 0 ? word_end_byte : 0);
    return classes;
}();

inline const unsigned char* skip_space_bytes(const unsigned char* p)
{
    while (byte_classes[*p] & space_byte)
        p++;
    return p;
}

// A whitespace directive, and the whitespace every conversion skips first:
// false when the input ends in it.
[[gnu::always_inline]] inline bool scan_space(scan_source* s)
{
    while (scan_ahead(s, 1) > 0) {
        s->at = size_t(skip_space_bytes(s->data + s->at) - s->data);
        if (s->at < s->end)
            return true;
    }
    s->eof = true;
    return false;
}

// The plain decimal forms in which models write their numbers, converted
// from a NUL-terminated view; each returns the end of the number, or null
// for text that needs the full rules. The caller checks that the number
// does not run to the end of what is in view.

// A sign and up to 18 decimal digits. Under "%i" (base 0) a leading 0 makes
// the number octal or hex: only a lone 0 is plain.
inline const unsigned char* plain_decimal_int(const unsigned char* p, int base, int* out)
{
    const unsigned char* first = p + (*p == '-' || *p == '+');
    const unsigned char* q = first;
    uint64_t value = 0;
    for (; is_c_digit(*q); q++)
        value = value * 10 + (*q - '0');
    if (q == first || q - first > 18)
        return nullptr;
    if (base == 0 && *first == '0' && (q - first > 1 || c_lower(*q) == 'x'))
        return nullptr;
    *out = int(*p == '-' ? -int64_t(value) : int64_t(value));
    return q;
}

inline constexpr float exact_powers_of_ten[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                                1e6f, 1e7f, 1e8f, 1e9f, 1e10f};

// A sign, digits and one point. With at most 2^24 as the digits' value and
// at most ten decimals, both the digits and the power of ten are exact floats
// and one division rounds the quotient exactly as strtof rounds the text;
// other plain decimals go to from_chars, which rounds exactly too. Not plain:
// a number followed by an x (as the 0 of "0x" is), an exponent, a number
// without digits, and a value from_chars calls out of range.
inline const unsigned char* plain_decimal_real(const unsigned char* start, float* out)
{
    const char* p = reinterpret_cast<const char*>(start);
    const char* q = p + (*p == '-' || *p == '+');
    const char* first = q;
    uint64_t value = 0;
    for (; is_c_digit(*q); q++)
        value = value * 10 + (*q - '0');
    size_t digits = size_t(q - first), decimals = 0;
    if (*q == '.') {
        const char* point = q;
        for (q++; is_c_digit(*q); q++)
            value = value * 10 + (*q - '0');
        decimals = size_t(q - point - 1);
        digits += decimals;
    }
    if (digits == 0 || c_lower(*q) == 'e' || c_lower(*q) == 'x')
        return nullptr;
    if (digits <= 19 && value <= uint64_t(1) << 24 && decimals < std::size(exact_powers_of_ten)) {
        float x = float(value) / exact_powers_of_ten[decimals];
        *out = *p == '-' ? -x : x;
    } else {
        float x;
        auto [end, ec] = std::from_chars(p + (*p == '+'), q, x, std::chars_format::fixed);
        if (ec != std::errc() || end != q)
            return nullptr;
        *out = x;
    }
    return reinterpret_cast<const unsigned char*>(q);
}

// The full rules, after the whitespace: glibc's "%i" (base 0) or "%d" (base
// 10), and its "%f".
bool scan_int_by_glibc_rules(scan_source* s, int base, int* out);
bool scan_real_by_glibc_rules(scan_source* s, float* out);

inline bool scan_int_in_base(scan_source* s, int base, int* out)
{
    if (!scan_space(s))
        return false;
    size_t avail = scan_ahead(s, 32);
    const unsigned char* p = s->data + s->at;
    int value;
    const unsigned char* q = plain_decimal_int(p, base, &value);
    if (!q || q == p + avail)
        return scan_int_by_glibc_rules(s, base, out);
    *out = value;
    s->at += size_t(q - p);
    return true;
}

// "%i": C prefixes, 0 for octal and 0x for hex.
inline bool scan_i(scan_source* s, int* out)
{
    return scan_int_in_base(s, 0, out);
}

// "%d": decimal only.
inline bool scan_d(scan_source* s, int* out)
{
    return scan_int_in_base(s, 10, out);
}

// "%f" into a float.
inline bool scan_f(scan_source* s, float* out)
{
    if (!scan_space(s))
        return false;
    size_t avail = scan_ahead(s, 64);
    const unsigned char* p = s->data + s->at;
    float value;
    const unsigned char* q = plain_decimal_real(p, &value);
    if (!q || q == p + avail)
        return scan_real_by_glibc_rules(s, out);
    *out = value;
    s->at += size_t(q - p);
    return true;
}

// "%f %f ..." into consecutive floats: the number converted before the
// first failure.
inline int scan_f_run(scan_source* s, float* fields, int count)
{
    int k = 0;
    while (k < count && scan_f(s, &fields[k]))
        k++;
    return k;
}

// A literal character of a format, after no whitespace directive: a
// mismatch stays in the input.
bool scan_literal(scan_source* s, char want);

// Whether any of the eight bytes at p is below '!', as every whitespace
// byte and NUL is: the top bit of each byte of (x - 0x21...) & ~x is set
// where the byte is below 0x21, with no borrow unless one already is.
inline bool any_low_byte(const unsigned char* p)
{
    uint64_t x;
    memcpy(&x, p, 8);
    return (x - 0x2121212121212121) & ~x & 0x8080808080808080;
}

// "%255s": up to 255 bytes other than whitespace, NULs included, of which
// `word` is what a C string sees (up to the first NUL); false at the end of
// input. The byte after a shorter token is read and pushed back; after a
// 255th byte nothing more is read.
inline bool scan_255s(scan_source* s, std::string_view* word)
{
    if (!scan_space(s))
        return false;
    size_t avail = scan_ahead(s, scan_lookahead);
    size_t limit = avail < 255 ? avail : 255;
    const unsigned char* p = s->data + s->at;
    const unsigned char* stop = p + limit;
    const unsigned char* q = p;
    while (q + 8 <= stop && !any_low_byte(q))
        q += 8;
    while (q < stop && !(byte_classes[*q] & word_end_byte))
        q++;
    *word = std::string_view(reinterpret_cast<const char*>(p), size_t(q - p));
    while (q < stop && !(byte_classes[*q] & space_byte))
        q++;
    size_t n = size_t(q - p);
    s->at += n;
    if (n < 255 && n == avail)
        s->eof = true;
    return true;
}

// fgets into a 256-byte buffer, the text dropped: through the next newline,
// at most 255 bytes.
void skip_fgets_256(scan_source* s);
