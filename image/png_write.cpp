#include "image/png_write.h"

#include <png.h>

#include <csetjmp>

// libpng's own handlers print; the caller reports the failure in its words.
static void png_failed(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

static void png_warned(png_structp, png_const_charp) {}

static bool png_write(FILE* file, int width, int height, const unsigned char* top, ptrdiff_t stride,
                      int color_type)
{
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_failed, png_warned);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, color_type,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; y++)
        png_write_row(png, top + y * stride);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return fflush(file) == 0 && !ferror(file);
}

bool png_write_rgb(FILE* file, int width, int height, const unsigned char* top, ptrdiff_t stride)
{
    return png_write(file, width, height, top, stride, PNG_COLOR_TYPE_RGB);
}

bool png_write_rgba(FILE* file, int width, int height, const unsigned char* top, ptrdiff_t stride)
{
    return png_write(file, width, height, top, stride, PNG_COLOR_TYPE_RGB_ALPHA);
}
