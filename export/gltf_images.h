// The images a glTF embeds: each found texture's and each stage's map's,
// changed as its part of a material needs (a normal map's green turned...),
// made once a model, on other threads where they can be, and kept by a
// batch's worker for the models after.
#pragma once
#include <future>
#include <map>
#include <string>
#include <vector>

#include "export/material_meaning.h"
#include "scene/scene.h"

// A found texture's image as the glTF embeds it: PNG and JPEG files as
// read, any other picture encoded as PNG.
struct gltf_image {
    std::string bytes;      // empty once moved into a glTF's buffer
    std::string mime_type;  // empty when the picture cannot be encoded
    bool cut = false;       // the view's alpha test cuts texels of it: its materials are masks
};

// Images already converted, kept by a worker for the next models that use
// them: decoding, changing and encoding a map costs far more than copying
// it. Only images of files (an absolute path, or an archive's entry) are
// kept, so that the same name in another game's tree is not mistaken for
// them; the oldest go past a total of `limit` bytes.
class converted_images {
public:
    explicit converted_images(size_t limit = size_t(256) << 20) : limit_(limit) {}
    const gltf_image* find(const std::string& key) const;
    void keep(const std::string& key, const gltf_image& image);

private:
    std::map<std::string, gltf_image> by_key_;
    std::vector<std::string> order_;  // oldest first
    size_t bytes_ = 0, limit_;
};

// The images of a model's found textures, each made once for the file that
// gave it, however many textures and materials name that file.
class gltf_images {
public:
    explicit gltf_images(converted_images* kept = nullptr) : kept_(kept) {}
    // A scene_texture_taker: makes the texture's image unless its file's is
    // made, and lets go of its picture and its file's bytes (before the
    // picture is encoded), so that one texture is converted at a time.
    void take(scene_texture& texture);
    // The image of a found texture, made from its picture when it was not taken.
    gltf_image& of(const scene_texture& texture);
    // The image of a stage's found map as a part of a material changes it:
    // its texture's when it shares that texture's picture unchanged.
    gltf_image& of(const model_scene& scene, const scene_map& map, map_conversion conversion);
    // Begins making that image, on another thread while one of a processor
    // each is free, for `of` to take when it is done; the scene's pictures
    // must stay until then.
    void start(const model_scene& scene, const scene_map& map, map_conversion conversion);
    // The key an image is kept and embedded by: the file (or program) that
    // gave it, and its change.
    static std::string key(const std::string& where, map_conversion conversion);
    // The images made.
    size_t size() const { return by_file_.size() + making_.size(); }

private:
    // The image of that key, from this model's or the worker's, or made now.
    template <class Make>
    gltf_image& image(const std::string& key, Make make);
    bool had(const std::string& key) const;
    template <class Job>
    void begin(const std::string& key, Job job);
    std::map<std::string, gltf_image> by_file_;  // by key: the file that gave it (scene_texture::where) and its change
    std::map<std::string, std::future<gltf_image>> making_;
    converted_images* kept_;
};

// The most bytes the map's image may take, before it is made: deflate
// seldom passes a picture's own size.
size_t map_image_bound(const model_scene& scene, const scene_map& map, map_conversion conversion);
// Begins making the images of the maps the texture's material uses, as
// soon as they are read (a scene_texture_taker's work, before `take`).
void start_material_maps(const model_scene& scene, int texture, gltf_images* images);
