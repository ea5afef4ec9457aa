// The images of a material's stages: found as textures are found (loose, in
// archives, dds/), decoded once per scene, image programs applied, the
// engines' built-in images made here.
#include <cstring>
#include <utility>

#include "gamefs/gamefs.h"
#include "gamefs/stages.h"
#include "image/decode.h"
#include "image/decoders.h"
#include "image/image_program.h"
#include "scene/scene.h"

// The material reader bounds how deep image programs nest.
static const char* const program_names[] = {"",    "heightmap", "addnormals", "smoothnormals", "makeIntensity",
                                            "makeAlpha", "scale", "add", "invertColor", "invertAlpha"};

static std::string image_key(const stage_image& image)
{
    if (image.program == image_program::none)
        return texture_key(image.name);
    std::string key = std::string(program_names[int(image.program)]) + "(";
    for (size_t i = 0; i < image.inputs.size(); i++)
        key += (i ? ", " : "") + image_key(image.inputs[i]);
    for (float number : image.numbers)
        key += ", " + std::to_string(number);
    return key + ")";
}

// One texel of the engines' built-in images; null for a name that is none.
static RgbaImage* built_in(const std::string& name)
{
    static const struct {
        const char* name;
        unsigned char texel[4];
    } images[] = {{"_white", {255, 255, 255, 255}}, {"$whiteimage", {255, 255, 255, 255}},
                  {"$lightmap", {255, 255, 255, 255}}, {"_black", {0, 0, 0, 0}}, {"_flat", {128, 128, 255, 255}}};
    for (const auto& image : images)
        if (name == image.name) {
            RgbaImage* made = image_new(1, 1);
            if (made != nullptr)
                memcpy(made->pixels, image.texel, 4);
            return made;
        }
    return nullptr;
}

static bool built_in_name(const std::string& key)
{
    return key.starts_with('_') || key.starts_with('$');
}

// The first of the name's files that decodes; the texture's own picture
// when that is the file it came from.
static void find_file_image(model_scene* scene, const std::string& name, int texture, scene_map* map)
{
    texture_lookup lookup = game_fs_find_image(*scene->tree, name);
    map->name = lookup.name;
    std::string later, bytes;
    for (size_t i = 0; i < lookup.files.size(); i++) {
        const game_file& file = lookup.files[i];
        std::string place = file.entry_name.empty() ? file.path : file.path + ": " + file.entry_name;
        if (texture >= 0 && scene->textures[size_t(texture)].found &&
            scene->textures[size_t(texture)].where == place) {
            map->texture = texture;
            map->where = place;
            map->found = true;
            return;
        }
        std::string* why = map->why.empty() ? &map->why : &later;
        if (read_game_image(*scene->tree, file, &bytes, &map->image, &map->where, why)) {
            map->loose = file.entry_name.empty();
            map->found = true;
            map->why.clear();
            return;
        }
    }
}

static RgbaImage* decoded_copy(const model_scene& scene, const scene_map& map)
{
    const RgbaImage* image = map.texture >= 0 ? scene.textures[size_t(map.texture)].image : map.image;
    if (image == nullptr || image->layout != image_rgba8)
        return image == nullptr ? nullptr : image_decompress(image);
    RgbaImage* copy = image_new(image->width, image->height);
    if (copy != nullptr)
        memcpy(copy->pixels, image->pixels, size_t(image->width) * size_t(image->height) * 4);
    return copy;
}

static float number(const std::vector<float>& numbers, size_t i, float otherwise)
{
    return i < numbers.size() ? numbers[i] : otherwise;
}

// The program on its inputs, each first taken up to power-of-two sides as
// the game does before any program sees it; null when an input is missing.
static RgbaImage* apply_image_program(image_program program, const std::vector<RgbaImage*>& given,
                                      const std::vector<float>& numbers)
{
    std::vector<RgbaImage*> inputs;
    for (RgbaImage* image : given)
        inputs.push_back(image_resample_power_of_two(image));
    bool two = inputs.size() >= 2 && inputs[1] != nullptr;
    const RgbaImage* a = inputs[0];
    RgbaImage* result = nullptr;
    if (a != nullptr)
        switch (program) {
        case image_program::heightmap: result = image_heightmap(a, number(numbers, 0, 1.0f)); break;
        case image_program::addnormals: result = two ? image_add_normals(a, inputs[1]) : nullptr; break;
        case image_program::smoothnormals: result = image_smooth_normals(a); break;
        case image_program::make_intensity: result = image_make_intensity(a); break;
        case image_program::make_alpha: result = image_make_alpha(a); break;
        case image_program::scale:
            result = image_scale(a, number(numbers, 0, 1.0f), number(numbers, 1, 1.0f), number(numbers, 2, 1.0f),
                                 number(numbers, 3, 1.0f));
            break;
        case image_program::add: result = two ? image_add(a, inputs[1]) : nullptr; break;
        case image_program::invert_color: result = image_invert_color(a); break;
        case image_program::invert_alpha: result = image_invert_alpha(a); break;
        case image_program::none: break;
        }
    for (RgbaImage* image : inputs)
        image_free(image);
    return result;
}

static int resolve(model_scene* scene, const stage_image& image, int texture);

// A program's result from its inputs' pictures; null when an input is missing.
static RgbaImage* run_program(model_scene* scene, const stage_image& image, int texture)
{
    std::vector<RgbaImage*> inputs;
    bool missing = false;
    for (const stage_image& input : image.inputs) {
        int index = resolve(scene, input, texture);
        RgbaImage* copy = index >= 0 && scene->maps[size_t(index)].found
                              ? decoded_copy(*scene, scene->maps[size_t(index)])
                              : nullptr;
        missing |= copy == nullptr;
        inputs.push_back(copy);
    }
    RgbaImage* result = nullptr;
    if (!missing && !inputs.empty())
        result = apply_image_program(image.program, inputs, image.numbers);
    for (RgbaImage* input : inputs)
        image_free(input);
    return result;
}

// The map of a stage's image: its index in the scene's maps.
static int resolve(model_scene* scene, const stage_image& image, int texture)
{
    std::string key = image_key(image);
    for (size_t i = 0; i < scene->maps.size(); i++)
        if (scene->maps[i].key == key)
            return int(i);
    scene_map map;
    map.key = key;
    map.name = key;
    if (image.program != image_program::none) {
        map.image = run_program(scene, image, texture);
        map.found = map.image != nullptr;
        map.where = key;
    } else if (built_in_name(key)) {
        map.image = built_in(key);
        map.found = map.image != nullptr;
        map.where = "built-in " + key;
    } else {
        find_file_image(scene, image.name, texture, &map);
    }
    scene->maps.push_back(std::move(map));
    return int(scene->maps.size()) - 1;
}

static const char* role_of(stage_kind kind)
{
    switch (kind) {
    case stage_kind::diffuse: return "diffuse map";
    case stage_kind::bump: return "bump map";
    case stage_kind::specular: return "specular map";
    case stage_kind::unlit: break;
    }
    return "stage map";
}

// The map a stage names, its role given to a map not found yet.
static int stage_map(model_scene* scene, const stage_image& image, stage_kind kind, int texture,
                     const std::string& material)
{
    if (image.empty())
        return -1;
    int index = resolve(scene, image, texture);
    scene_map& map = scene->maps[size_t(index)];
    // A diffuse map that is the texture not found has the texture's line.
    bool texture_line = kind == stage_kind::diffuse && !scene->textures[size_t(texture)].found;
    if (!map.found && map.role.empty() && !built_in_name(map.key) && !texture_line)
        map.role = std::string(role_of(kind)) + " of " + material;
    return index;
}

void load_material_maps(model_scene* scene, int texture, const texture_lookup& lookup)
{
    scene_material loaded;
    loaded.material = game_fs_material(*scene->tree, lookup);
    loaded.source = lookup.source;
    const game_material& material = loaded.material;
    const std::string& name = scene->textures[size_t(texture)].name;
    for (const material_stage& stage : material.stages) {
        loaded.stage_maps.push_back(scene->maps_wanted ? stage_map(scene, stage.image, stage.kind, texture, name) : -1);
        std::vector<int> frames;
        for (const stage_image& frame : stage.frames)
            if (scene->maps_wanted)
                frames.push_back(stage_map(scene, frame, stage.kind, texture, name));
        loaded.frame_maps.push_back(std::move(frames));
    }
    scene->materials.push_back(std::move(loaded));
    scene->textures[size_t(texture)].material = int(scene->materials.size()) - 1;
}

std::string material_lines(const model_scene& scene)
{
    std::string text;
    for (const scene_map& map : scene.maps)
        if (!map.found && !map.role.empty())
            text += "map not found: " + map.name + " (" + map.role + ")" +
                    (map.why.empty() ? "" : " (" + map.why + ")") + "\n";
    for (const scene_material& loaded : scene.materials)
        if (loaded.material.defaulted)
            text += "default material: " + loaded.material.name + " (" + loaded.source + ":" +
                    std::to_string(loaded.material.defaulted_line) + ": " + loaded.material.defaulted_why +
                    "): shown in the editor's look\n";
    return text;
}
