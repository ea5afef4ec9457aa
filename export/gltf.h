// The model store as a glTF 2.0 scene, as the model view shows it: a node
// per drawn object, a primitive per object and look, the found textures
// embedded in the binary buffer.
#pragma once
#include <map>
#include <string>

#include <tiny_gltf.h>

#include "export/material_meaning.h"
#include "export/options.h"
#include "scene/scene.h"

// A found texture's image as the glTF embeds it: PNG and JPEG files as
// read, any other picture encoded as PNG.
struct gltf_image {
    std::string bytes;      // empty once moved into a glTF's buffer
    std::string mime_type;  // empty when the picture cannot be encoded
    bool cut = false;       // the view's alpha test cuts texels of it: its materials are masks
};

// The images of a model's found textures, each made once for the file that
// gave it, however many textures and materials name that file.
class gltf_images {
public:
    // A scene_texture_taker: makes the texture's image unless its file's is
    // made, and lets go of its picture and its file's bytes (before the
    // picture is encoded), so that one texture is converted at a time.
    void take(scene_texture& texture);
    // The image of a found texture, made from its picture when it was not taken.
    gltf_image& of(const scene_texture& texture);
    // The image of a stage's found map as a part of a material changes it:
    // its texture's when it shares that texture's picture unchanged.
    gltf_image& of(const model_scene& scene, const scene_map& map, map_conversion conversion);
    // The key an image is kept and embedded by: the file (or program) that
    // gave it, and its change.
    static std::string key(const std::string& where, map_conversion conversion);
    // The images made.
    size_t size() const { return by_file_.size(); }

private:
    std::map<std::string, gltf_image> by_file_;  // by the file that gave it (scene_texture::where)
};

// Builds the scene's glTF from the model store, with the images taken while
// the scene was built (or made now from its pictures); their bytes move into
// the glTF's buffer. Each material says what its game material says, unless
// the options ask for plain ones; `said` (may be null) gets a line for each
// part of one that glTF cannot hold. False, with the reason, when a texture
// cannot be encoded or no face is left to write (hidden, or with a corner
// that is not finite).
bool build_gltf(const model_scene& scene, const export_options& options, tinygltf::Model* gltf,
                std::string* why, gltf_images images = {}, std::string* said = nullptr);
