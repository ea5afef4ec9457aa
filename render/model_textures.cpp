// The model view's textures: each name that a drawn face uses, found through
// the texture search and decoded once, uploaded once a context exists.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "gamefs/gamefs.h"
#include "image/decode.h"
#include "image/decoders.h"
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

// A single white texel: lit, it shows the faces white whatever their
// texture coordinates.
static RgbaImage* white_image()
{
    RgbaImage* image = image_new(1, 1);
    if (image != nullptr)
        memset(image->pixels, 255, 4);
    return image;
}

int model_texture_index(const std::string& model_path, const std::string& bitmap)
{
    std::string key = texture_key(bitmap);
    for (size_t i = 0; i < model_textures.size(); i++)
        if (model_textures[i].key == key)
            return (int)i;
    texture_lookup lookup = find_texture(model_path, bitmap);
    model_texture texture = {key, lookup.name, nullptr, 0, false, {}, false, lookup.never_drawn,
                             lookup.declared_in};
    // The first candidate that decodes wins: a broken file does not hide a
    // good one further on. A texture never drawn is not read at all.
    for (size_t i = 0; i < lookup.files.size() && !texture.never_drawn; i++) {
        const game_file& file = lookup.files[i];
        texture.image = file.archive ? load_entry(file) : image_load(file.path.c_str());
        if (texture.image != nullptr) {
            texture.where = file.archive ? file.path + ": " + file.entry_name : file.path;
            texture.loose = file.archive == nullptr;
            break;
        }
    }
    if (texture.image == nullptr && lookup.white && !texture.never_drawn) {
        texture.image = white_image();
        texture.where = "built-in _white";
    }
    texture.found = texture.image != nullptr;
    model_textures.push_back(texture);
    return (int)model_textures.size() - 1;
}

void print_model_summary(int objects, long long faces, long long hidden)
{
    int missing = 0;
    std::vector<std::string> never_drawn;
    for (const model_texture& texture : model_textures) {
        missing += !texture.found && !texture.never_drawn;
        if (texture.never_drawn &&
            std::find(never_drawn.begin(), never_drawn.end(), texture.name) == never_drawn.end())
            never_drawn.push_back(texture.name);
    }
    printf("model: %d objects, %lld faces, %d textures (%d not found)\n", objects, faces,
           (int)model_textures.size(), missing);
    if (hidden > 0) {
        std::string names;
        for (const std::string& name : never_drawn)
            names += (names.empty() ? "" : ", ") + name;
        printf("hidden: %lld faces (%s): never drawn by the game\n", hidden, names.c_str());
    }
    for (const model_texture& texture : model_textures)
        if (!texture.found && !texture.never_drawn)
            printf("texture not found: %s\n", texture.name.c_str());
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

void upload_model_textures()
{
    bool s3tc = gl_has_extension("GL_EXT_texture_compression_s3tc");
    for (model_texture& texture : model_textures) {
        if (!texture.found)
            continue;
        glGenTextures(1, &texture.id);
        glBindTexture(GL_TEXTURE_2D, texture.id);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        const RgbaImage* image = texture.image;
        if (image->levels > 1 && (image->layout == image_rgba8 || s3tc))
            upload_levels(*image);
        else
            build_mipmaps(image);
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
