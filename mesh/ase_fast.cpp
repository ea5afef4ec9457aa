// The program's ASE reader: the token loop and the ten readers of ase.cpp
// over a block buffer instead of fscanf and fgets. Every directive that the
// fscanf reader uses ("%255s", "%i", "%d", "%f", whitespace, literal
// characters) and its fgets line skip are reproduced as glibc performs them,
// down to what a failed or partial conversion leaves consumed, so both
// readers store the same bits for any input. Plain decimal numbers take a
// fast path; everything else goes through a character-by-character port of
// glibc's conversion.
#include <locale.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "mesh/ase.h"
#include "mesh/ase_records.h"
#include "mesh/store.h"

// The stream is read in blocks; a fast path looks ahead at most `lookahead`
// bytes (a token of 255 bytes and the byte after it). A refill keeps the
// byte before the unread ones, so the byte just read can always be pushed
// back, as ungetc after getc can. A NUL after the last byte in view stops
// the fast loops there; as the input may hold NULs too, a loop that stops
// at one checks whether it is the end.
// The fuzz build reads in small blocks, so that its inputs cross block ends.
#ifndef ASEVIEW_READ_BLOCK
#define ASEVIEW_READ_BLOCK (1 << 20)
#endif
constexpr size_t block_size = ASEVIEW_READ_BLOCK;
constexpr size_t lookahead = 256;
static_assert(block_size >= 2 * lookahead, "a refill must leave room for a full look-ahead");

struct source {
    FILE* stream;
    unsigned char* data;  // the unread bytes are data[at, end)
    size_t at, end;
    bool drained;         // the stream has given all it has
    bool eof;             // a read went past the last byte: the stream's
                          // end-of-file indicator as the fscanf reader leaves it
};

// Once per block: kept out of the inlined byte reads.
[[gnu::cold]] static void refill(source* s)
{
    size_t keep = s->at > 0 ? s->at - 1 : 0;
    memmove(s->data, s->data + keep, s->end - keep);
    s->at -= keep;
    s->end -= keep;
    size_t want = block_size - s->end;
    size_t got = fread(s->data + s->end, 1, want, s->stream);
    s->end += got;
    s->drained = got < want;
    s->data[s->end] = '\0';
}

// The number of bytes in view from the read position: at least n unless the
// input ends first.
static size_t ahead(source* s, size_t n)
{
    if (s->end - s->at < n && !s->drained)
        refill(s);
    return s->end - s->at;
}

// getc: the next byte, or EOF with the end-of-file indicator set for good.
static int next(source* s)
{
    if (ahead(s, 1) == 0) {
        s->eof = true;
        return EOF;
    }
    return s->data[s->at++];
}

// ungetc of the byte that next() has just returned.
static void back(source* s)
{
    s->at--;
}

// Character classes of the C locale, whatever the process's locale.
constexpr bool is_space(int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Byte classes for the fast loops: whitespace, and what ends the C-string
// view of a token (whitespace or NUL).
constexpr unsigned char space_byte = 1, word_end_byte = 2;
constexpr std::array<unsigned char, 256> byte_classes = [] {
    std::array<unsigned char, 256> classes{};
    for (int c = 0; c < 256; c++)
        classes[c] = (is_space(c) ? space_byte : 0) | (is_space(c) || c == 0 ? word_end_byte : 0);
    return classes;
}();

static bool is_digit(int c)
{
    return c >= '0' && c <= '9';
}

static int lower(int c)
{
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

// 0 to 15 for a hex digit, 16 for anything else.
static int digit_value(int c)
{
    if (is_digit(c))
        return c - '0';
    c = lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : 16;
}

// The whitespace that every conversion, and a literal after a whitespace
// directive, skips first; false when the input ends in it.
[[gnu::always_inline]] static inline bool skip_space(source* s)
{
    while (ahead(s, 1) > 0) {
        const unsigned char* p = s->data + s->at;
        while (byte_classes[*p] & space_byte)
            p++;
        s->at = size_t(p - s->data);
        if (s->at < s->end)
            return true;
    }
    s->eof = true;
    return false;
}

// A literal character of a format: a mismatch stays in the input.
static bool match_char(source* s, char want)
{
    int c = next(s);
    if (c == EOF)
        return false;
    if (c != want) {
        back(s);
        return false;
    }
    return true;
}

// Whether any of the eight bytes at p is below '!', as every whitespace
// byte and NUL is: the top bit of each byte of (x - 0x21...) & ~x is set
// where the byte is below 0x21, with no borrow unless one already is.
static bool any_low_byte(const unsigned char* p)
{
    uint64_t x;
    memcpy(&x, p, 8);
    return (x - 0x2121212121212121) & ~x & 0x8080808080808080;
}

// "%255s": up to 255 bytes other than whitespace, NULs included. The byte
// after a shorter token is read and pushed back; after a 255th byte nothing
// more is read. The result is the token as a C string sees it: up to its
// first NUL.
static bool conv_token(source* s, std::string_view* word)
{
    if (!skip_space(s))
        return false;
    size_t avail = ahead(s, lookahead);
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

// fgets into a 256-byte buffer: through the next newline, at most 255 bytes.
static void skip_line(source* s)
{
    size_t avail = ahead(s, 255);
    size_t limit = avail < 255 ? avail : 255;
    const unsigned char* p = s->data + s->at;
    const void* newline = memchr(p, '\n', limit);
    s->at += newline ? size_t(static_cast<const unsigned char*>(newline) - p) + 1 : limit;
    if (!newline && limit < 255)
        s->eof = true;
}

// The plain forms in which models write their numbers, converted straight
// from the block by pointer; each returns the end of the number, or null
// for text that needs the full rules. The caller sees that the number does
// not run to the end of what is in view.

// A sign and up to 18 decimal digits, as indices are written. A leading 0
// under "%i" makes the number octal or hex: only a lone 0 is plain.
static const unsigned char* plain_int(const unsigned char* p, int base, int* out)
{
    const unsigned char* first = p + (*p == '-' || *p == '+');
    const unsigned char* q = first;
    uint64_t value = 0;
    for (; is_digit(*q); q++)
        value = value * 10 + (*q - '0');
    if (q == first || q - first > 18)
        return nullptr;
    if (base == 0 && *first == '0' && (q - first > 1 || lower(*q) == 'x'))
        return nullptr;
    *out = int(*p == '-' ? -int64_t(value) : int64_t(value));
    return q;
}

static bool fast_int(source* s, int base, int* out)
{
    size_t avail = ahead(s, 32);
    const unsigned char* p = s->data + s->at;
    int value;
    const unsigned char* q = plain_int(p, base, &value);
    if (!q || q == p + avail)
        return false;
    *out = value;
    s->at += size_t(q - p);
    return true;
}

// "%i" (base 0) and "%d" (base 10) as glibc reads them: an optional sign; a
// leading 0 that under "%i" makes the number octal, or hex when an x or X
// follows (the x is consumed even if no hex digit comes after it); the
// digits of the base. A sign without digits is consumed and fails. The text
// converts as a long, saturating on overflow, which is then cut to int.
static bool slow_int(source* s, int base, int* out)
{
    std::string text;
    int c = next(s);
    if (c == '-' || c == '+') {
        text += char(c);
        c = next(s);
    }
    if (c == '0') {
        text += '0';
        c = next(s);
        if (base == 0)
            base = lower(c) == 'x' ? 16 : 8;
        if (base == 16)
            c = next(s);
    }
    if (base == 0)
        base = 10;
    for (; c != EOF && digit_value(c) < base; c = next(s))
        text += char(c);
    if (c != EOF)
        back(s);
    if (text.empty() || text == "-" || text == "+")
        return false;
    long value = 0;
    const char* first = text.data() + (text[0] == '+');
    if (std::from_chars(first, text.data() + text.size(), value, base).ec == std::errc::result_out_of_range)
        value = text[0] == '-' ? LONG_MIN : LONG_MAX;
    *out = int(value);
    return true;
}

static bool conv_int(source* s, int base, int* out)
{
    return skip_space(s) && (fast_int(s, base, out) || slow_int(s, base, out));
}

// Powers of ten that a float holds exactly.
static const float exact_powers[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};

// A sign, digits and one point, as the model's reals are written. With at
// most 2^24 as the digits' value and at most ten decimals, both the digits
// and the power of ten are exact floats and one division rounds the
// quotient exactly as strtof rounds the text; other plain decimals go to
// from_chars, which rounds exactly too. Not plain: a number followed by an
// x (as the 0 of "0x" is), an exponent, a number without digits, and a
// value from_chars calls out of range.
static const unsigned char* plain_float(const unsigned char* start, float* out)
{
    const char* p = reinterpret_cast<const char*>(start);
    const char* q = p + (*p == '-' || *p == '+');
    const char* first = q;
    uint64_t value = 0;
    for (; is_digit(*q); q++)
        value = value * 10 + (*q - '0');
    size_t digits = size_t(q - first), decimals = 0;
    if (*q == '.') {
        const char* point = q;
        for (q++; is_digit(*q); q++)
            value = value * 10 + (*q - '0');
        decimals = size_t(q - point - 1);
        digits += decimals;
    }
    if (digits == 0 || lower(*q) == 'e' || lower(*q) == 'x')
        return nullptr;
    if (digits <= 19 && value <= uint64_t(1) << 24 && decimals < std::size(exact_powers)) {
        float x = float(value) / exact_powers[decimals];
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

static bool fast_float(source* s, float* out)
{
    size_t avail = ahead(s, 64);
    const unsigned char* p = s->data + s->at;
    float value;
    const unsigned char* q = plain_float(p, &value);
    if (!q || q == p + avail)
        return false;
    *out = value;
    s->at += size_t(q - p);
    return true;
}

// The letters of `word` after its first, c, which has been read: a mismatch
// is consumed with the rest and fails.
static bool take_letters(source* s, int c, const char* word, std::string* text)
{
    *text += char(c);
    for (const char* w = word + 1; *w; w++) {
        c = next(s);
        if (lower(c) != *w)
            return false;
        *text += char(c);
    }
    return true;
}

// strtof in the C locale, the conversion glibc applies to the collected
// text; any part of the text it takes makes a value.
static bool convert_float(const std::string& text, float* out)
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
static bool take_number(source* s, int c, std::string* text)
{
    char exp_char = 'e';
    bool hex = false, got_digit = false, got_dot = false, got_e = false;
    if (c == '0') {
        *text += '0';
        c = next(s);
        if (lower(c) == 'x') {
            *text += char(c);
            hex = true;
            exp_char = 'p';
            c = next(s);
        } else {
            got_digit = true;
        }
    }
    for (; c != EOF; c = next(s)) {
        if (is_digit(c) || (hex && !got_e && digit_value(c) < 16)) {
            got_digit = true;
        } else if (got_e && text->back() == exp_char && (c == '-' || c == '+')) {
        } else if (got_digit && !got_e && lower(c) == exp_char) {
            c = exp_char;
            got_e = got_dot = true;
        } else if (c == '.' && !got_dot) {
            got_dot = true;
        } else {
            back(s);
            break;
        }
        *text += char(c);
    }
    return hex;
}

// "%f" as glibc reads it: the text is collected by its rules (an optional
// sign; "nan", "inf" or "infinity" in any case, the parenthesised part of
// "nan(...)" left unread; otherwise the digits of take_number) and converted
// with strtof. Whatever strtof leaves of the text (the "e" of "1e", the "e+"
// of "1e+") is consumed all the same; a sign alone or "0x" without digits
// fail after being consumed.
static bool slow_float(source* s, float* out)
{
    std::string text;
    int c = next(s);
    bool sign = c == '-' || c == '+';
    if (sign) {
        text += char(c);
        c = next(s);
        if (c == EOF)
            return false;
    }
    if (lower(c) == 'n') {
        if (!take_letters(s, c, "nan", &text))
            return false;
    } else if (lower(c) == 'i') {
        if (!take_letters(s, c, "inf", &text))
            return false;
        c = next(s);
        if (lower(c) == 'i') {
            if (!take_letters(s, c, "inity", &text))
                return false;
        } else if (c != EOF) {
            back(s);
        }
    } else {
        bool hex = take_number(s, c, &text);
        if (text.size() == size_t(sign) + (hex ? 2 : 0))
            return false;
    }
    return convert_float(text, out);
}

static bool conv_float(source* s, float* out)
{
    return skip_space(s) && (fast_float(s, out) || slow_float(s, out));
}

// "%f %f ..." straight into consecutive fields, up to the first failure.
static void conv_floats(source* s, float* fields, int count)
{
    for (int k = 0; k < count && conv_float(s, &fields[k]); k++) {
    }
}

// "\tA:\t%d B:\t%d C:\t%d" straight into the three corners.
static void conv_corners(source* s, int* vert)
{
    for (int k = 0; k < 3; k++) {
        if (!skip_space(s) || !match_char(s, "ABC"[k]) || !match_char(s, ':') || !conv_int(s, 10, &vert[k]))
            return;
    }
}

static const unsigned char* plain_space(const unsigned char* p)
{
    while (byte_classes[*p] & space_byte)
        p++;
    return p;
}

// The lines that make up nearly all of a model, read whole with the
// position kept in a register: the leading whitespace and an index
// ("%i"), then `count` reals ("%f"). False, with nothing consumed or
// stored, unless every number is plain and the line's end is in view.
static bool plain_index_and_reals(source* s, int* index, float* reals, int count)
{
    ahead(s, lookahead);
    int i;
    float r[3];
    const unsigned char* p = plain_int(plain_space(s->data + s->at), 0, &i);
    for (int k = 0; p && k < count; k++)
        p = plain_float(plain_space(p), &r[k]);
    if (!p || p >= s->data + s->end)
        return false;
    s->at = size_t(p - s->data);
    *index = i;
    memcpy(reals, r, sizeof(float) * size_t(count));
    return true;
}

// A face line the same way: "%i:" and "\tA:\t%d B:\t%d C:\t%d".
static bool plain_face(source* s, int* index, int* corners)
{
    ahead(s, lookahead);
    int i, c[3];
    const unsigned char* p = plain_int(plain_space(s->data + s->at), 0, &i);
    if (p && *p++ != ':')
        return false;
    for (int k = 0; p && k < 3; k++) {
        p = plain_space(p);
        if (p[0] != "ABC"[k] || p[1] != ':')
            return false;
        p = plain_int(plain_space(p + 2), 10, &c[k]);
    }
    if (!p || p >= s->data + s->end)
        return false;
    s->at = size_t(p - s->data);
    *index = i;
    memcpy(corners, c, sizeof c);
    return true;
}

// The readers, each doing what its namesake in ase.cpp does with fscanf.
static void fast_read_num_vertex(source* s)
{
    conv_int(s, 0, &vertex_count);
    alloc_vertices(vertex_count);
}

static void fast_read_num_faces(source* s)
{
    conv_int(s, 0, &MAX_FACES);
    alloc_faces(MAX_FACES);
}

static void fast_read_vertex(source* s)
{
    int j = 0;
    float xyz[3];
    bool plain = plain_index_and_reals(s, &j, xyz, 3);
    if (!plain)
        conv_int(s, 0, &j);
    v_pos = j;
    d_data scratch;
    d_data* vertex = vertex_line_record(j, &scratch);
    if (plain)
        memcpy(vertex->xyz, xyz, sizeof xyz);
    else
        conv_floats(s, vertex->xyz, 3);
}

static void fast_read_face(source* s)
{
    int i = 0, corners[3];
    if (plain_face(s, &i, corners)) {
        if (face_data* face = face_at(i))
            memcpy(face->vert, corners, sizeof corners);
        return;
    }
    face_data scratch;
    face_data* face = nullptr;
    if (conv_int(s, 0, &i)) {
        match_char(s, ':');
        face = face_at(i);
    }
    if (!face)
        face = &scratch;
    conv_corners(s, face->vert);
}

static void fast_read_tvert(source* s)
{
    int n = 0;
    bool counted = conv_int(s, 0, &n);
    if (counted)
        alloc_tverts(n);
    d_data scratch;
    d_data* vertex = counted ? vertex_at(n) : nullptr;
    if (!vertex)
        vertex = &scratch;
    if (conv_float(s, &vertex->u))
        conv_float(s, &vertex->v);
}

static void fast_read_tface(source* s)
{
    int i = 0;
    tvert_data scratch;
    tvert_data* tvert = conv_int(s, 0, &i) ? tvert_at(i) : nullptr;
    if (!tvert)
        tvert = &scratch;
    for (int k = 0; k < 3 && conv_int(s, 0, &tvert->tv[k]); k++) {
    }
}

static void fast_read_u_offset(source* s)
{
    float x = 0;
    if (conv_float(s, &x) && vertex_at(0))
        vertex_list[0].u += x;
}

static void fast_read_v_offset(source* s)
{
    float x = 0;
    if (conv_float(s, &x) && vertex_at(0))
        vertex_list[0].v += x;
}

static void fast_read_face_normal(source* s)
{
    int i = 0;
    float n[3] = {0, 0, 0};
    if (!plain_index_and_reals(s, &i, n, 3) && conv_int(s, 0, &i))
        conv_floats(s, n, 3);
    if (face_data* face = face_at(i))
        memcpy(face->norm, n, sizeof n);
    cur_face = i;
}

static void fast_read_vertex_normal(source* s)
{
    int j = 0;
    float n[3];
    bool plain = plain_index_and_reals(s, &j, n, 3);
    if (!plain)
        conv_int(s, 0, &j);
    d_data scratch;
    d_data* vertex = vertex_at(j);
    d_data* target = vertex ? vertex : &scratch;
    if (plain)
        memcpy(target->norm, n, sizeof n);
    else
        conv_floats(s, target->norm, 3);
    face_data* face = face_at(cur_face);
    if (vertex && face)
        face->vnorm[vnorm_corner] = j;
    vnorm_corner = vnorm_corner + 1 == 3 ? 0 : vnorm_corner + 1;
}

struct fast_keyword {
    std::string_view name;
    void (*read)(source*);
};

// In the order of the fscanf reader's table.
constexpr fast_keyword fast_keywords[] = {
    {"*MESH_NUMVERTEX", fast_read_num_vertex},
    {"*MESH_NUMFACES", fast_read_num_faces},
    {"*MESH_VERTEX", fast_read_vertex},
    {"*MESH_FACE", fast_read_face},
    {"*MESH_NUMTVERTEX", fast_read_tvert},
    {"*MESH_TFACE", fast_read_tface},
    {"*UVW_U_OFFSET", fast_read_u_offset},
    {"*UVW_V_OFFSET", fast_read_v_offset},
    {"*MESH_FACENORMAL", fast_read_face_normal},
    {"*MESH_VERTEXNORMAL", fast_read_vertex_normal},
};

static_assert(std::all_of(std::begin(fast_keywords), std::end(fast_keywords),
                          [](const fast_keyword& k) { return k.name.size() >= 8 && k.name.size() <= 24; }));

// Equality of two texts of the same length n, 8 <= n <= 24 as every
// keyword's is: three 8-byte words, overlapping as needed, cover a text.
static uint64_t eight_bytes(const char* p)
{
    uint64_t x;
    memcpy(&x, p, 8);
    return x;
}

static bool same_text(const char* a, const char* b, size_t n)
{
    return eight_bytes(a) == eight_bytes(b) && eight_bytes(a + n / 2 - 4) == eight_bytes(b + n / 2 - 4) &&
           eight_bytes(a + n - 8) == eight_bytes(b + n - 8);
}

// For each length, the entries of the table of that length, a bit each: a
// token is compared, in table order, only with keywords as long as itself.
constexpr std::array<unsigned, 32> keywords_of_length = [] {
    std::array<unsigned, 32> entries{};
    for (size_t i = 0; i < std::size(fast_keywords); i++)
        entries[fast_keywords[i].name.size()] |= 1u << i;
    return entries;
}();

static bool run_keyword(std::string_view word, source* s)
{
    if (word.size() >= keywords_of_length.size())
        return false;
    for (unsigned entries = keywords_of_length[word.size()]; entries; entries &= entries - 1) {
        const fast_keyword& k = fast_keywords[std::countr_zero(entries)];
        if (same_text(word.data(), k.name.data(), word.size())) {
            k.read(s);
            return true;
        }
    }
    return false;
}

void parse_ase(FILE* stream)
{
    static unsigned char block[block_size + 1];
    source s = {stream, block, 0, 0, false, false};
    std::string_view word;
    rewind(stream);
    while (!s.eof && conv_token(&s, &word)) {
        if (!run_keyword(word, &s))
            skip_line(&s);
    }
}
