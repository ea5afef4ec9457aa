// What a read model shows, free of GL: each drawable face's look (its
// material's texture or colour) and every texture the looks use, found
// through the texture search and decoded. The model view draws from it and
// the glTF export writes it, so the two cannot drift apart.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gamefs/gamefs.h"

#include "image/decode.h"
#include "mesh/model.h"

struct scene_texture {
    std::string key;   // as the model names it, backslashes as slashes
    std::string name;  // as "texture not found:" gives it
    bool found = false, white = false, never_drawn = false, two_sided = false;
    std::string where;  // the file that gave it, or "archive: entry", or "built-in _white"
    bool loose = false;  // `where` is a file on disk
    std::string bytes;   // that file's bytes as read, unless taken; empty for the built-in _white
    std::string declared_in;  // the loose script or material file that decided the name, if any
    std::string why;  // not found though a file was there: "PATH: REASON" of the first that failed
    RgbaImage* image = nullptr;  // decoded, unless taken; owned by the scene
};

// How a set of faces is drawn.
struct scene_look {
    const model_material* material;  // may be null
    int texture;                     // index in textures, -1: the colour alone
    int named;                       // the texture its material names (found or not), or -1
    float color[3];
    bool missing;    // its material's texture was not found
    bool hidden;     // never drawn by the game
    bool two_sided;  // the shader or material asks for both sides
};

struct model_scene {
    std::vector<scene_texture> textures;
    std::vector<scene_look> looks;
    std::vector<int> face_looks;  // one per drawable face (model_face_drawable), objects in order
    // The game's tree as it was when the scene was built: every build reads
    // it anew, so an edited tree shows on the next one, unless it is given
    // one already open.
    std::shared_ptr<game_fs> tree;

    model_scene() = default;
    model_scene(const model_scene&) = delete;
    model_scene& operator=(const model_scene&) = delete;
    ~model_scene();
    // Back to empty, the images freed.
    void reset();
};

// Given each texture as soon as it has been looked for, before the next is
// read: it may take the picture or the file's bytes (freeing what it takes
// and leaving null or empty), so that a model's textures need not all be in
// memory at once.
using scene_texture_taker = std::function<void(scene_texture&)>;

// Sorts the model store's drawable faces into looks, in the order the looks
// first appear, looking each texture name up once from model_path.
void build_model_scene(const std::string& model_path, model_scene* scene,
                       const scene_texture_taker& take = {});
// The same on a tree already open around the model's folder: a batch of
// many models of a folder opens its tree once.
void build_model_scene(std::shared_ptr<game_fs> tree, model_scene* scene,
                       const scene_texture_taker& take = {});
// The drawable faces that the game never draws.
long long hidden_faces(const model_scene& scene);
// "model: N objects, F faces, T textures (M not found)", when faces are
// hidden "hidden: N faces (NAME, ...): never drawn by the game", and a line
// "texture not found: NAME" for each texture not found, with "(PATH: REASON)" when a file was
// there but did not decode; every line ending in a newline.
std::string model_summary(const model_scene& scene, int objects, long long faces);
// Whether the face gives all three texture coordinates.
bool tverts_given(const model_object& object, const model_face& face);
// The unit normal of the triangle, (0, 0, 1) for one of no area.
model_vec3 face_normal(const model_vec3* p[3]);
// The texture coordinates of a corner as the view maps them: the
// material's tiling and offset applied.
void corner_st(const model_material& material, const model_vec3& tvert, float st[2]);
