// Test support: PNG, JPEG and WebP files of given pixels, rows top to bottom.
#pragma once
#include <string>

#include "tests/support/files.h"

// Red, green, blue, alpha bytes per pixel.
void write_png_rgba(const std::string& path, int width, int height, const Bytes& rgba);
// Red, green, blue bytes per pixel, at a high quality.
void write_jpeg_rgb(const std::string& path, int width, int height, const Bytes& rgb);
// Red, green, blue, alpha bytes per pixel, lossless.
void write_webp_rgba(const std::string& path, int width, int height, const Bytes& rgba);
