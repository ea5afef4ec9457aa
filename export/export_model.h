// One model exported: read, its looks and textures found, written as GLB.
// What it has to say comes back as text, so that a batch can print each
// model's lines whole.
#pragma once
#include <memory>
#include <string>

#include "export/gltf_images.h"
#include "export/options.h"

struct game_fs;

struct export_report {
    std::string out;  // for standard output: the summary, the missing textures, "wrote: OUT"
    std::string err;  // for standard error: "aseview-export: PATH: REASON"
    int missing = 0;  // textures not found
    bool ok = false;
};

// What a worker keeps for its next model: the game's tree of the folder the
// last model came from (a batch sees each folder's tree as it was when it
// came to it), and the images it has converted.
struct export_cache {
    std::string folder;
    std::shared_ptr<game_fs> tree;
    converted_images images;
};

// One model exported; `cache`, when given, saves opening the same tree and
// converting the same images again.
export_report export_model(const std::string& model_path, const std::string& out_path,
                           const export_options& options, export_cache* cache = nullptr);
// The default output's name: the model's file name with ".glb" for its
// ".ase" (in any letter case), else added.
std::string glb_name(const std::string& model_path);
