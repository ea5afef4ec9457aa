#include "mesh/utf16.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

struct utf16_reader {
    FILE* in = nullptr;
    bool big_endian = false;
    std::unique_ptr<unsigned char[]> units;
    size_t size = 0;         // of units
    size_t at = 0, end = 0;  // unread bytes of units
    char pending[4];         // UTF-8 of a code point not yet given
    size_t given = 0, made = 0;
};

// Whether a whole unit is buffered, reading on when it is not; what is left
// unread moves to the front, so positions kept from before are void.
bool unit_ready(utf16_reader* r)
{
    if (r->end - r->at >= 2)
        return true;
    memmove(r->units.get(), r->units.get() + r->at, r->end - r->at);
    r->end -= r->at;
    r->at = 0;
    r->end += fread(r->units.get() + r->end, 1, r->size - r->end, r->in);
    return r->end >= 2;
}

long unit_at(const utf16_reader* r)
{
    const unsigned char* u = r->units.get() + r->at;
    return r->big_endian ? u[0] << 8 | u[1] : u[1] << 8 | u[0];
}

// The next code point: a surrogate pair joined, a lone surrogate U+FFFD
// with the unit after it left to be read on its own, as iconv and ICU do;
// -1 at the end (an odd last byte is dropped).
long next_code_point(utf16_reader* r)
{
    if (!unit_ready(r))
        return -1;
    long unit = unit_at(r);
    r->at += 2;
    if (unit < 0xD800 || unit > 0xDFFF)
        return unit;
    if (unit >= 0xDC00 || !unit_ready(r))
        return 0xFFFD;
    long low = unit_at(r);
    if (low < 0xDC00 || low > 0xDFFF)
        return 0xFFFD;
    r->at += 2;
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
}

size_t encode_utf8(long c, char* out)
{
    if (c < 0x80) {
        out[0] = char(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = char(0xC0 | c >> 6);
        out[1] = char(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = char(0xE0 | c >> 12);
        out[1] = char(0x80 | (c >> 6 & 0x3F));
        out[2] = char(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | c >> 18);
    out[1] = char(0x80 | (c >> 12 & 0x3F));
    out[2] = char(0x80 | (c >> 6 & 0x3F));
    out[3] = char(0x80 | (c & 0x3F));
    return 4;
}

ssize_t read_utf8(void* cookie, char* buffer, size_t size)
{
    auto* r = static_cast<utf16_reader*>(cookie);
    size_t n = 0;
    // Which byte of a unit is its low one.
    const size_t low = r->big_endian ? 1 : 0;
    while (n < size) {
        if (r->given < r->made) {
            buffer[n++] = r->pending[r->given++];
            continue;
        }
        // ASCII, nearly all of a model, straight from the units.
        const unsigned char* u = r->units.get() + r->at;
        size_t ascii = 0, count = std::min((r->end - r->at) / 2, size - n);
        for (; ascii < count && u[2 * ascii + 1 - low] == 0 && u[2 * ascii + low] < 0x80; ascii++)
            buffer[n + ascii] = char(u[2 * ascii + low]);
        n += ascii;
        r->at += 2 * ascii;
        if (ascii > 0)
            continue;
        long c = next_code_point(r);
        if (c < 0)
            break;
        r->made = encode_utf8(c, r->pending);
        r->given = 0;
    }
    return n == 0 && ferror(r->in) ? -1 : ssize_t(n);
}

int close_reader(void* cookie)
{
    delete static_cast<utf16_reader*>(cookie);
    return 0;
}

}  // namespace

FILE* utf16_as_utf8(FILE* in, size_t block_size)
{
    int first = getc(in);
    if (first != 0xFF && first != 0xFE) {
        if (first != EOF)
            ungetc(first, in);
        return nullptr;
    }
    int second = getc(in);
    if (second != (first ^ 0x01)) {
        // glibc takes back more than one byte.
        if (second != EOF)
            ungetc(second, in);
        ungetc(first, in);
        return nullptr;
    }
    std::unique_ptr<utf16_reader> reader(new (std::nothrow) utf16_reader);
    if (reader == nullptr)
        return nullptr;
    reader->size = std::max(block_size, size_t(2));
    reader->units.reset(new (std::nothrow) unsigned char[reader->size]);
    if (reader->units == nullptr)
        return nullptr;
    reader->in = in;
    reader->big_endian = first == 0xFE;
    FILE* stream = fopencookie(reader.get(), "r", {read_utf8, nullptr, nullptr, close_reader});
    if (stream != nullptr)
        reader.release();
    return stream;
}
