// Texture images of any format the model view reads, from loose files or
// from bytes (an archive's entries), told apart by their content: Targa
// through our own readers, PNG through libpng, JPEG through libjpeg-turbo,
// WebP through libwebp, DDS through our own reader. Every image comes out
// the same way: 8-bit RGBA (or a DDS file's S3TC blocks), rows from the
// bottom of the picture (as an image viewer shows it) to its top, which is
// the row order GL textures take. Nothing here needs a GL.
#pragma once
#include <cstddef>
#include <string>

// The largest width or height accepted.
constexpr int image_max_side = 8192;
// The largest file that may hold such an image: an uncompressed Targa of
// four bytes a pixel, with room for its header and colour map.
constexpr size_t image_max_file_bytes = size_t(image_max_side) * image_max_side * 4 + (1 << 20);

// What pixels holds: 8-bit RGBA, or S3TC blocks as the GL takes them (DDS
// textures with their own mip chain), block rows from the bottom up.
enum ImageLayout { image_rgba8, image_dxt1, image_dxt3, image_dxt5 };

struct RgbaImage {
    int width;
    int height;
    unsigned char* pixels;  // width * height * 4 bytes, bottom row first
    int levels;  // 1, or a whole mip chain down to 1 x 1, one level after the other
    ImageLayout layout;
};

// The bytes of one level of that size.
size_t image_level_size(ImageLayout layout, int width, int height);
// The top level of an image of S3TC blocks as RGBA, for a GL that takes no
// S3TC; null when the memory cannot be had.
RgbaImage* image_decompress(const RgbaImage* image);

// Decodes a whole file's bytes, none read past size. Null when they are no
// image of a known format, are damaged or cut short, the image is larger
// than image_max_side on a side or its memory cannot be had; the reason,
// short and fit to follow a file name, is in image_error_text.
RgbaImage* image_decode(const unsigned char* bytes, size_t size);
// Reads a regular file whole and decodes it; anything that is not a regular
// file (a folder, a device, a FIFO) is refused without being read and
// without blocking, and so is a file larger than image_max_file_bytes.
RgbaImage* image_load(const char* path);
void image_free(RgbaImage* image);

extern std::string image_error_text;
