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
#include "gamefs/stages.h"

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
    int material = -1;           // what the game draws for the name: in materials
};

// An image a material's stage draws, found as textures are found, its image
// program applied.
struct scene_map {
    std::string key;   // the image as written, programs and all
    std::string name;  // as "map not found:" gives it
    bool found = false;
    RgbaImage* image = nullptr;  // decoded, unless taken; owned by the scene
    int texture = -1;  // the picture is that texture's: not decoded twice
    std::string where;
    bool loose = false;
    std::string why;   // not found though a file was there: "PATH: REASON"
    std::string role;  // "bump map of MATERIAL", for the line of one not found
};

// A material as the game draws it, with the maps of its stages.
struct scene_material {
    game_material material;
    std::vector<int> stage_maps;               // per stage: index in maps, -1 for none
    std::vector<std::vector<int>> frame_maps;  // per stage: its animMap's frames
    std::string source;                        // the file it was read from, if any
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
    int drawn_material;  // index in materials of what the game draws, -1: none
};

struct model_scene {
    std::vector<scene_texture> textures;
    std::vector<scene_look> looks;
    std::vector<scene_map> maps;
    std::vector<scene_material> materials;
    material_rules rules = material_rules::id_tech4;  // the tree's
    // Whether the stages' maps are found and decoded too (the model view's
    // game look), or only the materials read: a reset keeps it.
    bool maps_wanted = true;
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
// there but did not decode; then "map not found: NAME (bump map of
// MATERIAL)" for each stage's map not found, likewise, and a line for each
// material the game would show as its default; every line ending in a
// newline.
std::string model_summary(const model_scene& scene, int objects, long long faces);
// Whether the face gives all three texture coordinates.
bool tverts_given(const model_object& object, const model_face& face);
// The unit normal of the triangle, (0, 0, 1) for one of no area.
model_vec3 face_normal(const model_vec3* p[3]);
// A file of the tree read whole and decoded, "PATH" or "ARCHIVE: ENTRY" in
// where; false with "PATH: REASON" in why.
bool read_game_image(const game_fs& tree, const game_file& file, std::string* bytes, RgbaImage** image,
                     std::string* where, std::string* why);
// The "map not found:" lines and those of materials the game would show as
// its default.
std::string material_lines(const model_scene& scene);
// Finds and decodes the maps of the texture's material's stages (the scene's
// tree open), sharing the texture's own picture where a stage shows it.
void load_material_maps(model_scene* scene, int texture, const texture_lookup& lookup);
// The texture coordinates of a corner as the view maps them: the
// material's tiling and offset applied.
void corner_st(const model_material& material, const model_vec3& tvert, float st[2]);
