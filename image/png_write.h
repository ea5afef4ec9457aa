// 8-bit RGB and RGBA pictures written as PNG through libpng.
#pragma once
#include <cstddef>
#include <cstdio>

// Writes the picture to the stream: `top` is its top row of width * 3 bytes,
// and each next row lies `stride` bytes on (negative for a picture stored
// bottom row first, as glReadPixels gives it). False when libpng fails or
// the stream cannot take it.
bool png_write_rgb(FILE* file, int width, int height, const unsigned char* top, ptrdiff_t stride);
// The same for a picture of width * 4 bytes a row, red, green, blue, alpha.
bool png_write_rgba(FILE* file, int width, int height, const unsigned char* top, ptrdiff_t stride);
