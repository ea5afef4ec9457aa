// PNG files read whole through libpng's simplified interface.
#pragma once
#include <png.h>

#include <string>

#include "tests/support/files.h"

struct Png {
    int width = 0;
    int height = 0;
    Bytes pixels;  // rows top to bottom
};

// The picture in the given layout (PNG_FORMAT_RGB, ...); empty when it
// cannot be read.
Png read_png(const std::string& path, png_uint_32 format);
