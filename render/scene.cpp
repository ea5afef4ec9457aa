#include "render/render.h"

#include <GL/glu.h>
#include <cstdio>
#include <cstdlib>

#include "image/tga.h"

GLuint texture_id = 0;
float mat_specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
float mat_shininess[1] = {0.0f};
float light_position[4] = {1.0f, 1.0f, 1.0f, 1.0f};
float light_color[4] = {1.0f, 1.0f, 0.0f, 1.0f};

// Colour-mapped pixels become red, green, blue through the map; an index the
// map does not hold is black. Null when the memory cannot be had.
static unsigned char* expand_color_map(const TgaImage* image)
{
    size_t count = (size_t)image->width * (size_t)image->height;
    auto* rgb = (unsigned char*)calloc(count, 3);
    if (rgb == nullptr)
        return nullptr;
    for (size_t i = 0; i < count; i++) {
        int index = image->pixels[i];
        if (image->colorMap != nullptr && index < image->colorMapEntries)
            for (int c = 0; c < 3; c++)
                rgb[i * 3 + c] = image->colorMap[index * 3 + c];
    }
    return rgb;
}

void upload_texture(const TgaImage* image)
{
    const unsigned char* pixels = image->pixels;
    GLenum format = image->format;
    unsigned char* expanded = nullptr;
    if (format == GL_COLOR_INDEX) {
        // The GL would run indices through its own pixel maps, not ours.
        expanded = expand_color_map(image);
        // A model without its texture is no start: fatal like the other failures.
        if (expanded == nullptr) {
            printf("not enough memory for the texture\n");
            exit(1);
        }
        pixels = expanded;
        format = GL_RGB;
    }
    // Rows are packed without padding, whatever their length in bytes.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGB, image->width, image->height, format,
                      GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    free(expanded);
}

void init_scene()
{
    TgaImage* image = tga_load("map2.tga");
    glGenTextures(1, &texture_id);
    glBindTexture(GL_TEXTURE_2D, texture_id);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    upload_texture(image);
    tga_free(image);

    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_DEPTH_TEST);
    glCullFace(GL_BACK);
    glMaterialfv(GL_FRONT, GL_SPECULAR, mat_specular);
    glMaterialfv(GL_FRONT, GL_SHININESS, mat_shininess);
    glLightfv(GL_LIGHT0, GL_POSITION, light_position);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, light_color);
    glLightfv(GL_LIGHT0, GL_SPECULAR, light_color);
}
