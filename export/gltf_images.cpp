#include "export/gltf_images.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>

#include "image/decoders.h"
#include "image/png_write.h"

namespace {

bool starts_with(const std::string& bytes, const char* signature, size_t size)
{
    return bytes.size() >= size && memcmp(bytes.data(), signature, size) == 0;
}

// The top level as RGBA, S3TC blocks decoded; null when memory fails.
const RgbaImage* rgba_of(const RgbaImage* image, RgbaImage** decoded)
{
    *decoded = image->layout == image_rgba8 ? nullptr : image_decompress(image);
    return image->layout == image_rgba8 ? image : *decoded;
}

// Whether the view's alpha test cuts texels of it: one below half.
bool cuts_texels(const RgbaImage& rgba)
{
    size_t count = size_t(rgba.width) * size_t(rgba.height);
    for (size_t i = 0; i < count; i++)
        if (rgba.pixels[i * 4 + 3] < 128)
            return true;
    return false;
}

// The fewest channels that keep every texel.
png_packing packing_of(const RgbaImage& rgba)
{
    size_t count = size_t(rgba.width) * size_t(rgba.height);
    bool gray = true;
    for (const unsigned char* p = rgba.pixels; p < rgba.pixels + count * 4; p += 4) {
        if (p[3] != 255)
            return png_packing::rgba;
        gray = gray && p[0] == p[1] && p[1] == p[2];
    }
    return gray ? png_packing::gray : png_packing::rgb;
}

// The image as PNG, top row first (ours are bottom row first).
bool encode_png(const RgbaImage& rgba, std::string* png)
{
    png_packing packing = packing_of(rgba);
    png->clear();
    png->reserve(size_t(rgba.width) * size_t(rgba.height) + 4096);
    ptrdiff_t stride = ptrdiff_t(rgba.width) * 4;
    return png_encode_rgba(png, rgba.width, rgba.height, rgba.pixels + (rgba.height - 1) * stride, -stride, packing);
}

// The type of a file embedded as read, PNG or JPEG; null for any other.
const char* embedded_type(const std::string& bytes)
{
    if (starts_with(bytes, "\x89PNG\r\n\x1a\n", 8))
        return "image/png";
    if (starts_with(bytes, "\xff\xd8\xff", 3))
        return "image/jpeg";
    return nullptr;
}

// The picture as RGBA, changed as its part needs; null when memory fails.
RgbaImage* converted_copy(const RgbaImage& picture, map_conversion conversion)
{
    RgbaImage* decoded = nullptr;
    const RgbaImage* rgba = rgba_of(&picture, &decoded);
    if (rgba == nullptr)
        return nullptr;
    RgbaImage* out = decoded != nullptr ? decoded : image_new(rgba->width, rgba->height);
    size_t count = size_t(rgba->width) * size_t(rgba->height);
    if (out == nullptr)
        return nullptr;
    if (out != rgba)
        memcpy(out->pixels, rgba->pixels, count * 4);
    int turned = conversion >= map_conversion::channels_turned ? int(conversion) & 7 : 0;
    for (unsigned char* p = out->pixels; p < out->pixels + count * 4; p += 4)
        switch (conversion) {
        default:
            for (int c = 0; c < 3; c++)
                if (turned & (1 << c))
                    p[c] = uint8_t(255 - p[c]);
            break;
        case map_conversion::alpha_inverted: p[3] = uint8_t(255 - p[3]); break;
        case map_conversion::alpha_from_rgb: p[3] = std::max({p[0], p[1], p[2]}); break;
        case map_conversion::roughness: {
            // The exponent 10 + 20 B as a GGX roughness; metallic 0 in B.
            double exponent = 10.0 + 20.0 * p[2] / 255.0;
            p[1] = uint8_t(std::lround(255.0 * std::pow(2.0 / (exponent + 2.0), 0.25)));
            p[0] = p[3] = 255;
            p[2] = 0;
            break;
        }
        case map_conversion::none: break;
        }
    return out;
}

// The image of a picture and its file's bytes: the bytes when they are
// embedded as read, else the picture (null when it is not had) as PNG.
gltf_image image_of(const RgbaImage* picture, std::string bytes)
{
    gltf_image image;
    RgbaImage* decoded = nullptr;
    const RgbaImage* rgba = picture != nullptr ? rgba_of(picture, &decoded) : nullptr;
    image.cut = rgba != nullptr && cuts_texels(*rgba);
    if (const char* type = embedded_type(bytes)) {
        image.mime_type = type;
        image.bytes = std::move(bytes);
    } else if (rgba != nullptr && encode_png(*rgba, &image.bytes)) {
        image.mime_type = "image/png";
    }
    image_free(decoded);
    return image;
}

// What a map's image is made from: its texture's picture when it shares
// it (and its file's bytes, to embed as read), else its own.
std::pair<const RgbaImage*, std::string> map_source(const model_scene& scene, const scene_map& map,
                                                   map_conversion conversion)
{
    const scene_texture* texture = map.texture >= 0 ? &scene.textures[size_t(map.texture)] : nullptr;
    const RgbaImage* picture = texture != nullptr ? texture->image : map.image;
    bool as_read = conversion == map_conversion::none && texture != nullptr && embedded_type(texture->bytes);
    return {picture, as_read ? texture->bytes : std::string()};
}

gltf_image map_image(const RgbaImage* picture, std::string bytes, map_conversion conversion)
{
    if (conversion == map_conversion::none)
        return image_of(picture, std::move(bytes));
    gltf_image made;
    RgbaImage* changed = picture != nullptr ? converted_copy(*picture, conversion) : nullptr;
    if (changed != nullptr && encode_png(*changed, &made.bytes))
        made.mime_type = "image/png";
    image_free(changed);
    return made;
}

}  // namespace

const gltf_image* converted_images::find(const std::string& key) const
{
    auto known = by_key_.find(key);
    return known == by_key_.end() ? nullptr : &known->second;
}

void converted_images::keep(const std::string& key, const gltf_image& image)
{
    if (!key.starts_with('/') || image.bytes.size() > limit_ || by_key_.contains(key))
        return;
    while (bytes_ + image.bytes.size() > limit_ && !order_.empty()) {
        bytes_ -= by_key_[order_.front()].bytes.size();
        by_key_.erase(order_.front());
        order_.erase(order_.begin());
    }
    by_key_.emplace(key, image);
    order_.push_back(key);
    bytes_ += image.bytes.size();
}

template <class Make>
gltf_image& gltf_images::image(const std::string& key, Make make)
{
    auto known = by_file_.find(key);
    if (known != by_file_.end())
        return known->second;
    if (const gltf_image* kept = kept_ != nullptr ? kept_->find(key) : nullptr)
        return by_file_.emplace(key, *kept).first->second;
    auto started = making_.find(key);
    gltf_image& made = by_file_.emplace(key, started != making_.end() ? started->second.get() : make()).first->second;
    if (started != making_.end())
        making_.erase(started);
    if (kept_ != nullptr)
        kept_->keep(key, made);
    return made;
}

bool gltf_images::had(const std::string& key) const
{
    return by_file_.contains(key) || making_.contains(key) || (kept_ != nullptr && kept_->find(key) != nullptr);
}

template <class Job>
void gltf_images::begin(const std::string& key, Job job)
{
    static const size_t threads = std::max(1u, std::thread::hardware_concurrency());
    if (making_.size() < threads)
        making_.emplace(key, std::async(std::launch::async, std::move(job)));
    else
        image(key, std::move(job));
}

void gltf_images::take(scene_texture& texture)
{
    if (!texture.found || texture.white)
        return;
    // PNG and JPEG files are embedded as read; any other is let go of
    // before its picture is encoded.
    std::string bytes;
    bytes.swap(texture.bytes);
    if (!embedded_type(bytes))
        std::string().swap(bytes);
    std::unique_ptr<RgbaImage, void (*)(RgbaImage*)> picture(std::exchange(texture.image, nullptr),
                                                             image_free);
    // Made at once: the next texture's picture is not read before this one's is let go.
    image(texture.where, [&] { return image_of(picture.get(), std::move(bytes)); });
}

gltf_image& gltf_images::of(const scene_texture& texture)
{
    return image(texture.where, [&] {
        return image_of(texture.image, embedded_type(texture.bytes) ? texture.bytes : std::string());
    });
}

std::string gltf_images::key(const std::string& where, map_conversion conversion)
{
    static const char* const changes[] = {"", " (alpha inverted)", " (alpha from colour)", " (roughness)"};
    if (conversion < map_conversion::channels_turned)
        return where + changes[int(conversion)];
    std::string key = where + " (turned";
    for (int c = 0; c < 3; c++)
        if (int(conversion) & (1 << c))
            key += " RGB"[c + 1];
    return key + ")";
}

gltf_image& gltf_images::of(const model_scene& scene, const scene_map& map, map_conversion conversion)
{
    return image(key(map.where, conversion), [&] {
        auto [picture, bytes] = map_source(scene, map, conversion);
        return map_image(picture, std::move(bytes), conversion);
    });
}

void gltf_images::start(const model_scene& scene, const scene_map& map, map_conversion conversion)
{
    std::string key = gltf_images::key(map.where, conversion);
    if (had(key))
        return;
    // The scene's pictures are only read while the images are made.
    std::pair<const RgbaImage*, std::string> source = map_source(scene, map, conversion);
    begin(key, [picture = source.first, bytes = std::move(source.second), conversion]() mutable {
        return map_image(picture, std::move(bytes), conversion);
    });
}

void start_material_maps(const model_scene& scene, int texture, gltf_images* images)
{
    if (scene.textures[size_t(texture)].material < 0)
        return;
    material_meaning meaning = texture_meaning(scene, texture);
    for (const meaning_map* use : meaning.maps()) {
        const scene_map* map = use->used() ? &scene.maps[size_t(use->map)] : nullptr;
        // The texture's own picture unchanged is its image, taken with it.
        if (map != nullptr && !(map->texture == texture && use->conversion == map_conversion::none))
            images->start(scene, *map, use->conversion);
    }
}

size_t map_image_bound(const model_scene& scene, const scene_map& map, map_conversion conversion)
{
    auto [picture, bytes] = map_source(scene, map, conversion);
    size_t stored = picture != nullptr ? size_t(picture->width) * size_t(picture->height) * 4 + size_t(picture->height) + 4096 : 0;
    return std::max(stored, bytes.size());
}

