#include "tests/support/png_read.h"

Png read_png(const std::string& path, png_uint_32 format)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    Png png;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return png;
    image.format = format;
    png.pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, png.pixels.data(), 0, nullptr))
        return Png();
    png.width = image.width;
    png.height = image.height;
    return png;
}
