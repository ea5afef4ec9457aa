// 8-bit RGB and RGBA pictures written as PNG through libpng.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

// Writes the picture to the stream: `top` is its top row of width * 3 bytes,
// and each next row lies `stride` bytes on (negative for a picture stored
// bottom row first, as glReadPixels gives it). False when libpng fails or
// the stream cannot take it.
bool png_write_rgb(FILE* file, int width, int height, const unsigned char* top, ptrdiff_t stride);
// How many of an RGBA picture's channels the file keeps: all, the colour
// of an opaque one, or the red of an opaque grey one.
enum class png_packing { rgba, rgb, gray };
// A picture of width * 4 bytes a row, red, green, blue, alpha, appended to
// `bytes` as PNG, packed as asked and compressed for speed rather than the
// last byte: a texture to embed. False when libpng fails.
bool png_encode_rgba(std::string* bytes, int width, int height, const unsigned char* top, ptrdiff_t stride,
                     png_packing packing = png_packing::rgba);
