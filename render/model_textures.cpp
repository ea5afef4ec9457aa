// The model view's textures: each name that a drawn face uses, found through
// the texture search and decoded once, uploaded once a context exists.
#include <GL/gl.h>
#include <GL/glu.h>
#include <cstdio>

#include "gamefs/gamefs.h"
#include "image/decode.h"
#include "render/render.h"

std::vector<model_texture> model_textures;

// An image inside an archive, read whole unless it is larger than any
// image may be.
static RgbaImage* load_entry(const game_file& file)
{
    std::string bytes;
    if (!game_file_read(file, image_max_file_bytes, &bytes) || bytes.empty())
        return nullptr;
    FILE* stream = fmemopen(bytes.data(), bytes.size(), "r");
    if (stream == nullptr)
        return nullptr;
    RgbaImage* image = image_decode(stream);
    fclose(stream);
    return image;
}

int model_texture_index(const std::string& model_path, const std::string& bitmap)
{
    std::string key = texture_key(bitmap);
    for (size_t i = 0; i < model_textures.size(); i++)
        if (model_textures[i].name == key)
            return (int)i;
    model_texture texture = {key, nullptr, 0, false};
    // The first candidate that decodes wins: a broken file does not hide a
    // good one further on.
    for (const game_file& file : texture_candidates(model_path, bitmap)) {
        texture.image = file.archive ? load_entry(file) : image_load(file.path.c_str());
        texture.found = texture.image != nullptr;
        if (texture.found)
            break;
    }
    model_textures.push_back(texture);
    return (int)model_textures.size() - 1;
}

void print_model_summary(int objects, long long faces)
{
    int missing = 0;
    for (const model_texture& texture : model_textures)
        missing += !texture.found;
    printf("model: %d objects, %lld faces, %d textures (%d not found)\n", objects, faces,
           (int)model_textures.size(), missing);
    for (const model_texture& texture : model_textures)
        if (!texture.found)
            printf("texture not found: %s\n", texture.name.c_str());
}

void upload_model_textures()
{
    for (model_texture& texture : model_textures) {
        if (!texture.found)
            continue;
        glGenTextures(1, &texture.id);
        glBindTexture(GL_TEXTURE_2D, texture.id);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        // GLU's mipmaps on the processor: the driver's own take ten times as
        // long for a 512 x 512 image, a thumbnail's worth of time. Rows of
        // four-byte pixels need no unpack alignment of their own.
        gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, texture.image->width, texture.image->height, GL_RGBA,
                          GL_UNSIGNED_BYTE, texture.image->pixels);
        image_free(texture.image);
        texture.image = nullptr;
    }
}
