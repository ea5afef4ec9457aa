// Where a model's textures are, found as the level editors of the Quake III
// family and of the id Tech 4 games find them: names relative to the game's
// folder, looked for in the model's folder, every folder above it and the
// folders of ASEVIEW_GAME_PATH; in each, loose files first, then its pk3,
// dpk and pk4 archives and dpkdir and pk4dir folders; a shader script's or
// material's image before a file of its name; extensions and letter case
// forgiven.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "gamefs/folders.h"
#include "gamefs/package.h"
#include "gamefs/script_index.h"
#include "gamefs/stages.h"

// A game's tree as it is when opened: its folders' listings, its packages
// and its scripts are read then and kept by the object, so a tree opened
// anew sees what was added or changed since.
struct game_fs {
    folder_listings listings;
    // Every package in search order: each folder's own loose files, then its
    // packages, the one whose name sorts last first, as the games let later
    // packages override earlier ones. The first is the model's folder.
    std::vector<std::unique_ptr<game_package>> packages;
    script_index scripts;
    // Whose rules the tree's materials follow: the Dark Mod's when a game
    // folder holds darkmod.txt or a tdm_*.pk4; else id Tech 4's when it has
    // materials or pk4 archives; else Quake III's when it has shader scripts
    // or pk3 or dpk archives; else id Tech 4's.
    material_rules rules = material_rules::id_tech4;
};

// What a texture name shows.
struct texture_lookup {
    // The files that may hold it, in the order they are to be tried (the
    // first that decodes wins). Loose files are listed when they exist;
    // whether they are regular files and images is for the caller to find
    // out.
    std::vector<game_file> files;
    bool white;        // id Tech 4's built-in _white: plain white, when no file decodes
    std::string name;  // the name as a report of it not being found gives it
    // The game never draws a face of this name: a nodraw shader, a material
    // without a stage that draws, or, undeclared, an editor surface of the
    // common folder (caulk, clip, trigger...).
    bool never_drawn = false;
    bool two_sided = false;   // cull none, disable or twosided; twoSided
    std::string declared_in;  // the loose script or material file that decided, if any
    // The deciding declaration, for game_fs_material: its block (empty for
    // none; a view into the tree, valid while it lives), the line of its "{",
    // its file ("ARCHIVE: ENTRY" for an archive's) and whether it is a shader.
    std::string_view block;
    int first_line = 0;
    std::string source;
    bool shader = false;
};

// The tree around the model at model_path (none when the path names no
// folder), opened, its packages indexed and its scripts read.
std::unique_ptr<game_fs> game_fs_open(const std::string& model_path);
// The name as the search takes it: backslashes become slashes.
std::string texture_key(const std::string& name);
// The texture the model names. The rules of the Quake III family come
// first: when a shader of the name shows an image, only that image's files
// are listed. Then the name as the id Tech 4 games read it: a shader or
// material of that name, else the image of the name itself; such an image
// is also looked for as dds/<name>.dds. A name cut after the game's base
// folder is reported by its material name.
texture_lookup game_fs_find_texture(game_fs& tree, const std::string& name);
// The files of an image a material's stage names: the image itself, as the
// engines load a stage's image, never a shader or material of its name
// (id Tech 4: also dds/<name>.dds).
texture_lookup game_fs_find_image(game_fs& tree, const std::string& name);
// A file the tree found, whole, when it holds at most `limit` bytes and is
// a regular file or an intact archive entry; false with a short reason in
// why (which may be null). Never blocks on a FIFO.
// The material the lookup names as the tree's game draws it: its shader's
// or material's stages, or the engine's implicit material for an image
// nothing declares.
game_material game_fs_material(const game_fs& tree, const texture_lookup& lookup);
bool game_fs_read(const game_fs& tree, const game_file& file, size_t limit, std::string* bytes, std::string* why);
