// Text built in one large buffer that goes out with fwrite: for outputs of
// hundreds of megabytes, formatted without printf.
#pragma once
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>

struct text_out {
    FILE* file;
    size_t used;
    char text[1 << 20];
};

inline void flush_text(text_out* out)
{
    fwrite(out->text, 1, out->used, out->file);
    out->used = 0;
}

// Room for n more bytes; the put functions below assume it was made.
inline void reserve_text(text_out* out, size_t n)
{
    if (sizeof out->text - out->used < n)
        flush_text(out);
}

inline void put_text(text_out* out, std::string_view s)
{
    memcpy(out->text + out->used, s.data(), s.size());
    out->used += s.size();
}

inline void put_char(text_out* out, char c)
{
    out->text[out->used++] = c;
}

// std::to_chars of the value with the given format arguments.
template <class T, class... Format>
inline void put_number(text_out* out, T value, Format... format)
{
    char* end = std::to_chars(out->text + out->used, std::end(out->text), value, format...).ptr;
    out->used = size_t(end - out->text);
}
