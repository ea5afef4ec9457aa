#include "tests/support/image_write.h"

#include <jpeglib.h>
#include <png.h>
#include <webp/encode.h>

#include <cstdio>
#include <stdexcept>

void write_png_rgba(const std::string& path, int width, int height, const Bytes& rgba)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = (png_uint_32)width;
    image.height = (png_uint_32)height;
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr))
        throw std::runtime_error("cannot write " + path);
}

void write_jpeg_rgb(const std::string& path, int width, int height, const Bytes& rgb)
{
    FILE* out = fopen(path.c_str(), "wb");
    if (!out)
        throw std::runtime_error("cannot write " + path);
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = (JDIMENSION)width;
    info.image_height = (JDIMENSION)height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(&rgb[(size_t)info.next_scanline * width * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    fclose(out);
}

void write_webp_rgba(const std::string& path, int width, int height, const Bytes& rgba)
{
    uint8_t* encoded = nullptr;
    size_t size = WebPEncodeLosslessRGBA(rgba.data(), width, height, width * 4, &encoded);
    if (size == 0)
        throw std::runtime_error("cannot encode " + path);
    write_file(path, Bytes(encoded, encoded + size));
    WebPFree(encoded);
}
