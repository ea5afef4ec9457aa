// Helpers shared by the Targa tests: streams over byte strings, reads with
// their console output, and header variants.
#pragma once
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "image/tga.h"
#include "tests/support/files.h"
#include "tests/support/targa.h"

Bytes concat(std::initializer_list<Bytes> parts);

// A read-only stream over bytes, which must outlive it; seeking past its end fails.
FILE* memory_stream(const Bytes& bytes);
// The names of the .tga files in folder, sorted.
std::vector<std::string> tga_files_in(const std::string& folder);
// text with everything but letters and digits turned into underscores.
std::string param_name(std::string text);

using Image = std::unique_ptr<TgaImage, decltype(&tga_free)>;

struct Read {
    Image image{nullptr, tga_free};
    std::string out;  // what the call printed
    long position;    // where it left the stream
};

// Reads file, named "test.tga", from a fresh state at the given verbosity level.
Read read_tga(const Bytes& file, int flip = 0, unsigned level = 0, bool in_memory = false);
Bytes pixels_of(const TgaImage& image);
// What a read prints at level 1 or more before the pixel data; id is the ID
// field's text.
std::string head(const TgaHeader& h, int flip, const std::string& id = "");

// An 8-bit colour-mapped picture's header with a map of `length` entries of `size` bits.
TgaHeader indexed(uint16_t length, uint8_t size);
