// The model view's textures: the scene's, decoded once, uploaded once a
// context exists.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "image/decode.h"
#include "render/render.h"
#include "scene/scene.h"

std::vector<model_texture> model_textures;

void take_scene_textures(model_scene& scene)
{
    for (scene_texture& found : scene.textures) {
        model_textures.push_back({found.key, found.name, found.image, 0, found.found, found.where, found.loose,
                                  found.never_drawn, found.declared_in});
        // The view keeps the picture alone: the file's bytes are the export's.
        found.image = nullptr;
        std::string().swap(found.bytes);
    }
}

std::vector<std::string> model_texture_files()
{
    std::vector<std::string> files;
    auto add = [&](const std::string& path) {
        if (!path.empty() && std::find(files.begin(), files.end(), path) == files.end())
            files.push_back(path);
    };
    for (const model_texture& texture : model_textures) {
        if (texture.loose)
            add(texture.where);
        add(texture.declared_in);
    }
    return files;
}

// Whether the GL names the extension among its own, whole.
static bool gl_has_extension(const char* name)
{
    const char* list = (const char*)glGetString(GL_EXTENSIONS);
    size_t length = strlen(name);
    for (const char* at = list; at && (at = strstr(at, name)) != nullptr; at += length)
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0'))
            return true;
    return false;
}

// A file's own mip chain, each level as it is. S3TC blocks go to the GL
// undecoded: llvmpipe takes a 2048 x 2048 chain so in under a millisecond,
// against 150 ms and more decoded, and keeps it in a quarter or an eighth of
// the memory of RGBA. Their rows were turned bottom-up when read.
static void upload_levels(const RgbaImage& image)
{
    static const GLenum formats[] = {GL_RGBA, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT,
                                     GL_COMPRESSED_RGBA_S3TC_DXT3_EXT,
                                     GL_COMPRESSED_RGBA_S3TC_DXT5_EXT};
    const unsigned char* level = image.pixels;
    for (int i = 0; i < image.levels; i++) {
        int width = std::max(1, image.width >> i), height = std::max(1, image.height >> i);
        size_t size = image_level_size(image.layout, width, height);
        if (image.layout == image_rgba8)
            glTexImage2D(GL_TEXTURE_2D, i, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                         level);
        else
            glCompressedTexImage2D(GL_TEXTURE_2D, i, formats[image.layout], width, height, 0,
                                   (GLsizei)size, level);
        level += size;
    }
}

// GLU's mipmaps on the processor: the driver's own take ten times as long
// for a 512 x 512 image, a thumbnail's worth of time. Rows of four-byte
// pixels need no unpack alignment of their own. Blocks that the GL cannot
// take are decoded first.
static void build_mipmaps(const RgbaImage* image)
{
    RgbaImage* decoded = image->layout == image_rgba8 ? nullptr : image_decompress(image);
    const RgbaImage* rgba = image->layout == image_rgba8 ? image : decoded;
    if (rgba != nullptr)
        gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, rgba->width, rgba->height, GL_RGBA,
                          GL_UNSIGNED_BYTE, rgba->pixels);
    image_free(decoded);
}

GLuint upload_model_image(const RgbaImage* image)
{
    static const bool s3tc = gl_has_extension("GL_EXT_texture_compression_s3tc");
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    if (image->levels > 1 && (image->layout == image_rgba8 || s3tc))
        upload_levels(*image);
    else
        build_mipmaps(image);
    return id;
}

void upload_model_textures()
{
    for (model_texture& texture : model_textures) {
        if (!texture.found)
            continue;
        texture.id = upload_model_image(texture.image);
        image_free(texture.image);
        texture.image = nullptr;
    }
}

void reset_model_textures()
{
    for (model_texture& texture : model_textures) {
        if (texture.id != 0)
            glDeleteTextures(1, &texture.id);
        image_free(texture.image);
    }
    model_textures.clear();
}
