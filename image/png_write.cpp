#include "image/png_write.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <vector>

// libpng's own handlers print; the caller reports the failure in its words.
static void png_failed(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

static void png_warned(png_structp, png_const_charp) {}

static void append(png_structp png, png_bytep data, png_size_t size)
{
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), size);
}

static void no_flush(png_structp) {}

// Where the rows go: a stream, or the end of a string.
struct png_sink {
    FILE* file = nullptr;
    std::string* bytes = nullptr;
};

static bool png_write(const png_sink& sink, int width, int height, const unsigned char* top, ptrdiff_t stride,
                      int given_type, png_packing packing)
{
    // Textures for a glTF, which a reader decodes once: a fast deflate and
    // one filter cost a few percent of size and save most of the time.
    const bool texture = sink.bytes != nullptr;
    const int color_type = packing == png_packing::gray ? PNG_COLOR_TYPE_GRAY
                           : packing == png_packing::rgb ? PNG_COLOR_TYPE_RGB
                                                         : given_type;
    std::vector<unsigned char> gray(packing == png_packing::gray ? size_t(width) : 0);
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_failed, png_warned);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    if (texture) {
        png_set_write_fn(png, sink.bytes, append, no_flush);
        png_set_compression_level(png, 1);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
        png_set_compression_strategy(png, Z_RLE);
    } else {
        png_init_io(png, sink.file);
    }
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, color_type,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (packing == png_packing::rgb && given_type == PNG_COLOR_TYPE_RGB_ALPHA)
        png_set_filler(png, 0, PNG_FILLER_AFTER);  // the rows keep their alpha byte, left out
    for (int y = 0; y < height; y++) {
        const unsigned char* row = top + y * stride;
        if (packing == png_packing::gray) {
            for (int x = 0; x < width; x++)
                gray[size_t(x)] = row[x * 4];
            row = gray.data();
        }
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return texture || (fflush(sink.file) == 0 && !ferror(sink.file));
}

bool png_write_rgb(FILE* file, int width, int height, const unsigned char* top, ptrdiff_t stride)
{
    return png_write({file, nullptr}, width, height, top, stride, PNG_COLOR_TYPE_RGB, png_packing::rgb);
}

bool png_encode_rgba(std::string* bytes, int width, int height, const unsigned char* top, ptrdiff_t stride,
                     png_packing packing)
{
    return png_write({nullptr, bytes}, width, height, top, stride, PNG_COLOR_TYPE_RGB_ALPHA, packing);
}
