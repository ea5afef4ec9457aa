// The keyword lines both ASE readers act on: their keywords, the values a
// line carries, and what a line does to the store once they are read. The
// readers differ only in how they read the values.
#pragma once
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string_view>

enum class ase_line {
    num_vertex,
    num_faces,
    vertex,
    face,
    num_tvertex,
    tface,
    u_offset,
    v_offset,
    face_normal,
    vertex_normal,
};

// In the order of ase_line.
constexpr std::string_view ase_keywords[] = {
    "*MESH_NUMVERTEX", "*MESH_NUMFACES",   "*MESH_VERTEX",    "*MESH_FACE",       "*MESH_NUMTVERTEX",
    "*MESH_TFACE",     "*UVW_U_OFFSET",    "*UVW_V_OFFSET",   "*MESH_FACENORMAL", "*MESH_VERTEXNORMAL",
};
static_assert(std::size(ase_keywords) == size_t(ase_line::vertex_normal) + 1);
static_assert(std::all_of(std::begin(ase_keywords), std::end(ase_keywords),
                          [](std::string_view k) { return k.size() >= 8 && k.size() <= 24; }));

// What a line's conversions stored. A line starts with a count, an index or
// a face number (offset lines have none); the values after it convert in
// order up to the first failure, which `converted` counts. A value that did
// not convert is 0.
struct line_values {
    int index = 0;
    bool indexed = false;  // whether the leading number converted
    int converted = 0;
    int ints[3] = {};
    float reals[3] = {};
};

void store_line(ase_line line, const line_values& values);

// Equality of two texts of the same length n, 8 <= n <= 24 as every
// keyword's is: three 8-byte words, overlapping as needed, cover a text.
inline uint64_t eight_bytes(const char* p)
{
    uint64_t x;
    memcpy(&x, p, 8);
    return x;
}

inline bool same_keyword_text(const char* a, const char* b, size_t n)
{
    return eight_bytes(a) == eight_bytes(b) && eight_bytes(a + n / 2 - 4) == eight_bytes(b + n / 2 - 4) &&
           eight_bytes(a + n - 8) == eight_bytes(b + n - 8);
}

// For each length, the keywords of that length, a bit each: a token is
// compared only with keywords as long as itself.
constexpr std::array<unsigned, 32> keywords_of_length = [] {
    std::array<unsigned, 32> entries{};
    for (size_t i = 0; i < std::size(ase_keywords); i++)
        entries[ase_keywords[i].size()] |= 1u << i;
    return entries;
}();

// The line a token begins, if it is one of the keywords.
inline bool find_keyword(std::string_view token, ase_line* line)
{
    if (token.size() >= keywords_of_length.size())
        return false;
    for (unsigned entries = keywords_of_length[token.size()]; entries; entries &= entries - 1) {
        int i = std::countr_zero(entries);
        if (same_keyword_text(token.data(), ase_keywords[i].data(), token.size())) {
            *line = ase_line(i);
            return true;
        }
    }
    return false;
}
