#include "export/export_model.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <utility>

#include "mesh/model_files.h"
#include "export/glb_file.h"
#include "export/gltf.h"
#include "export/material_meaning.h"
#include "gamefs/folders.h"

namespace {

int missing_textures(const model_scene& scene)
{
    int missing = 0;
    for (const scene_texture& texture : scene.textures)
        missing += !texture.found;
    return missing;
}

export_report failed(export_report report, const std::string& path, const std::string& why)
{
    report.err = "aseview-export: " + path + ": " + why + "\n";
    report.ok = false;
    return report;
}

// The tree around the model: the cached one when it is of the model's folder.
std::shared_ptr<game_fs> tree_for(const std::string& model_path, export_cache* cache)
{
    if (cache == nullptr)
        return game_fs_open(model_path);
    std::string folder = std::filesystem::path(model_path).parent_path().string();
    if (cache->tree == nullptr || cache->folder != folder) {
        cache->tree = nullptr;
        cache->tree = game_fs_open(model_path);
        cache->folder = folder;
    }
    return cache->tree;
}

// Reads the model and turns it into glTF; the model store is let go after.
bool model_gltf(const std::string& model_path, const export_options& options, export_cache* cache,
                tinygltf::Model* gltf, export_report* report, std::string* why)
{
    if (!read_model_file(model_path, why))
        return false;
    model_scene scene;
    // A plain material is one texture: its stages' other maps are not read.
    scene.maps_wanted = !options.plain;
    gltf_images images(cache != nullptr ? &cache->images : nullptr);
    build_model_scene(tree_for(model_path, cache), &scene, [&](scene_texture& t) {
        // A picture that a part of its material changes is kept for the
        // change; the material's maps are begun as soon as they are read.
        int texture = int(&t - scene.textures.data());
        if (!options.plain)
            start_material_maps(scene, texture, &images);
        if (options.plain || !picture_changed(scene, texture))
            images.take(t);
    });
    long long faces = (long long)scene.face_looks.size();
    report->out = model_summary(scene, int(model_objects.size()), faces);
    report->missing = missing_textures(scene);
    std::string said;
    bool built = build_gltf(scene, options, gltf, why, std::move(images), &said);
    report->out += said;
    reset_model_store();
    return built;
}

}  // namespace

export_report export_model(const std::string& model_path, const std::string& out_path,
                           const export_options& options, export_cache* cache)
{
    export_report report;
    struct stat input;
    if (stat(model_path.c_str(), &input) != 0)
        return failed(report, model_path, strerror(errno));
    std::string refusal = glb_target_refusal(out_path, input);
    if (!refusal.empty())
        return failed(report, out_path, refusal);
    // Opened first: a folder that takes no file fails before the work.
    std::string why;
    glb_output output;
    if (!output.open(out_path, &why))
        return failed(report, out_path, why);
    tinygltf::Model gltf;
    try {
        if (!model_gltf(model_path, options, cache, &gltf, &report, &why))
            return failed(report, model_path, why);
    } catch (const std::bad_alloc&) {
        reset_model_store();
        return failed(report, model_path, "too large for memory");
    }
    if (!output.write(&gltf, &why))
        return failed(report, out_path, why);
    report.out += "wrote: " + out_path + "\n";
    report.ok = true;
    return report;
}

std::string glb_name(const std::string& model_path)
{
    std::string name = std::filesystem::path(model_path).filename().string();
    if (name.size() > 4 && fold_case(name.substr(name.size() - 4)) == ".ase")
        name.resize(name.size() - 4);
    return name + ".glb";
}
