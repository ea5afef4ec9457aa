#include "tests/render/render_fixture.h"

#include <GL/glut.h>

#include "input/input.h"
#include "mesh/store.h"
#include "render/render.h"
#include "tests/support/files.h"
#include "tests/support/glut_window.h"
#include "tests/support/targa.h"

void write_uniform_tga(const std::string& path, Rgb color)
{
    Bytes pixels;
    for (int i = 0; i < 256 * 256; i++)
        pixels.insert(pixels.end(), {color[2], color[1], color[0], 255});
    write_file(path, tga_bytes({.width = 256, .height = 256, .bpp = 32, .descriptor = 0x28}, pixels));
}

void open_frame_window()
{
    open_test_window();
    glutDisplayFunc([] {});
    pump_glut_events();
    ScratchFolder folder;
    write_uniform_tga("map2.tga", {255, 255, 255});
    init_scene();
    reset_mesh_store();
    reset_view_state();
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
// window and keeps it.
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
