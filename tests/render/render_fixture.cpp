#include "tests/render/render_fixture.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

void write_tga(const std::string& path, int width, int height, int bpp, int descriptor,
               const std::vector<unsigned char>& pixels)
{
    unsigned char header[18] = {};
    header[2] = 2;
    header[12] = width & 0xff;
    header[13] = width >> 8;
    header[14] = height & 0xff;
    header[15] = height >> 8;
    header[16] = (unsigned char)bpp;
    header[17] = (unsigned char)descriptor;
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(header, 1, sizeof header, f);
    fwrite(pixels.data(), 1, pixels.size(), f);
    fclose(f);
}

void write_uniform_tga(const std::string& path, Rgb color)
{
    std::vector<unsigned char> pixels;
    for (int i = 0; i < 256 * 256; i++)
        pixels.insert(pixels.end(), {color[2], color[1], color[0], 255});
    write_tga(path, 256, 256, 32, 0x28, pixels);
}

ScratchDir::ScratchDir() : previous_(std::filesystem::current_path())
{
    char pattern[] = "/tmp/aseview_render_XXXXXX";
    dir_ = mkdtemp(pattern);
    std::filesystem::current_path(dir_);
}

ScratchDir::~ScratchDir()
{
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(dir_);
}

std::vector<Rgb> read_texture(int* width, int* height)
{
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, height);
    std::vector<Rgb> texels((size_t)*width * *height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

// The back buffer, read after the swap: llvmpipe's swap copies it to the
// window and keeps it, and unlike the window it cannot be covered by another
// test's window on the same X server.
std::vector<Rgb> read_frame(int x, int y, int width, int height)
{
    std::vector<Rgb> pixels((size_t)width * height);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

Rgb read_pixel(int x, int y)
{
    return read_frame(x, y, 1, 1)[0];
}
