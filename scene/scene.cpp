#include "scene/scene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

#include "gamefs/gamefs.h"
#include "image/decoders.h"
#include "mesh/huge_pages.h"

// The colour of a face without a texture whose material gives none.
static const float light_grey[3] = {0.75f, 0.75f, 0.75f};

// The file's bytes and its picture; false with "PATH: REASON" in why.
bool read_game_image(const game_fs& tree, const game_file& file, std::string* bytes, RgbaImage** image,
                     std::string* where, std::string* why)
{
    std::string place = file.entry_name.empty() ? file.path : file.path + ": " + file.entry_name, reason;
    if (!game_fs_read(tree, file, image_max_file_bytes, bytes, &reason)) {
        *why = place + ": " + reason;
        return false;
    }
    *image = image_decode((const unsigned char*)bytes->data(), bytes->size());
    if (*image == nullptr) {
        *why = place + ": " + image_error_text;
        return false;
    }
    *where = place;
    return true;
}

static bool read_and_decode(const game_fs& tree, const game_file& file, scene_texture* texture,
                            std::string* why)
{
    if (!read_game_image(tree, file, &texture->bytes, &texture->image, &texture->where, why))
        return false;
    texture->loose = file.entry_name.empty();
    return true;
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

// The texture of that name: found and decoded the first time it comes up.
static int texture_index(model_scene* scene, const std::string& bitmap,
                         const scene_texture_taker& take)
{
    std::string key = texture_key(bitmap);
    for (size_t i = 0; i < scene->textures.size(); i++)
        if (scene->textures[i].key == key)
            return int(i);
    texture_lookup lookup = game_fs_find_texture(*scene->tree, bitmap);
    scene_texture texture;
    texture.key = key;
    texture.name = lookup.name;
    texture.never_drawn = lookup.never_drawn;
    texture.two_sided = lookup.two_sided;
    texture.declared_in = lookup.declared_in;
    // The first candidate that decodes wins: a broken file does not hide a
    // good one further on; the first failure is what a report gives. What
    // the game never draws is not read at all.
    std::string later;
    for (size_t i = 0; i < lookup.files.size() && !texture.never_drawn; i++) {
        std::string* why = texture.why.empty() ? &texture.why : &later;
        if (read_and_decode(*scene->tree, lookup.files[i], &texture, why))
            break;
    }
    if (texture.image == nullptr) {
        std::string().swap(texture.bytes);
        if (lookup.white && !texture.never_drawn && (texture.image = white_image()) != nullptr) {
            texture.white = true;
            texture.where = "built-in _white";
        }
    }
    texture.found = texture.image != nullptr;
    if (texture.found)
        texture.why.clear();
    scene->textures.push_back(std::move(texture));
    int index = int(scene->textures.size()) - 1;
    if (!scene->textures.back().never_drawn)
        load_material_maps(scene, index, lookup);
    if (take)
        take(scene->textures.back());
    return index;
}

// The texture a material names: an index in textures, or -1.
static int material_texture(model_scene* scene, const model_material* material,
                            const scene_texture_taker& take)
{
    if (material == nullptr || material->bitmap.empty() || material->bitmap == "None")
        return -1;
    return texture_index(scene, material->bitmap, take);
}

// The looks of the drawn faces, in the order they first appear. A face's
// look is its material's texture, when that was found and the face has
// texture coordinates, else its material's colour.
struct look_finder {
    model_scene* scene;
    const scene_texture_taker& take;
    std::map<const model_material*, int> texture_of;
    std::map<std::pair<const model_material*, int>, int> index;
    // The last face's look: the faces of one material mostly come together.
    const model_material* last_material = nullptr;
    int last_texture = -2, last_look = -1;
};

static scene_look new_look(const model_scene& scene, const model_material* material, int named, int texture)
{
    scene_look look = {material, texture, named, {1.0f, 1.0f, 1.0f}, false, false, false, -1};
    if (named >= 0) {
        const scene_texture& t = scene.textures[size_t(named)];
        look.drawn_material = t.material;
        look.missing = !t.found;
        look.hidden = t.never_drawn;
        look.two_sided = t.two_sided;
    }
    const float* color = material && material->has_diffuse ? material->diffuse : light_grey;
    if (texture < 0)
        std::copy(color, color + 3, look.color);
    return look;
}

static int look_of(look_finder& finder, const model_object& object, const model_face& face)
{
    model_scene* scene = finder.scene;
    const model_material* material = face_material(object, face);
    auto known = finder.texture_of.find(material);
    if (known == finder.texture_of.end()) {
        int named = material_texture(scene, material, finder.take);
        known = finder.texture_of.emplace(material, named).first;
    }
    int texture = known->second;
    if (texture >= 0 && !(scene->textures[size_t(texture)].found && tverts_given(object, face)))
        texture = -1;
    if (material == finder.last_material && texture == finder.last_texture)
        return finder.last_look;
    auto [at, added] = finder.index.try_emplace({material, texture}, int(scene->looks.size()));
    if (added)
        scene->looks.push_back(new_look(*scene, material, known->second, texture));
    finder.last_material = material;
    finder.last_texture = texture;
    finder.last_look = at->second;
    return at->second;
}

void build_model_scene(const std::string& model_path, model_scene* scene,
                       const scene_texture_taker& take)
{
    build_model_scene(game_fs_open(model_path), scene, take);
}

void build_model_scene(std::shared_ptr<game_fs> tree, model_scene* scene,
                       const scene_texture_taker& take)
{
    scene->reset();
    scene->tree = std::move(tree);
    scene->rules = scene->tree ? scene->tree->rules : material_rules::id_tech4;
    look_finder finder{scene, take, {}, {}};
    size_t faces = 0;
    for (const model_object& object : model_objects)
        faces += object.faces.size();
    reserve_in_huge_pages(&scene->face_looks, faces);
    for (const model_object& object : model_objects)
        for (const model_face& face : object.faces)
            if (model_face_drawable(object, face))
                scene->face_looks.push_back(look_of(finder, object, face));
}

long long hidden_faces(const model_scene& scene)
{
    long long hidden = 0;
    for (int look : scene.face_looks)
        hidden += scene.looks[size_t(look)].hidden;
    return hidden;
}

// "hidden: N faces (NAME, NAME): never drawn by the game", each name once.
static std::string hidden_line(const model_scene& scene)
{
    long long hidden = hidden_faces(scene);
    if (hidden == 0)
        return {};
    std::vector<std::string> names;
    for (const scene_texture& texture : scene.textures)
        if (texture.never_drawn && std::find(names.begin(), names.end(), texture.name) == names.end())
            names.push_back(texture.name);
    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "" : ", ") + name;
    return "hidden: " + std::to_string(hidden) + " faces (" + list + "): never drawn by the game\n";
}

std::string model_summary(const model_scene& scene, int objects, long long faces)
{
    int missing = 0;
    for (const scene_texture& texture : scene.textures)
        missing += !texture.found && !texture.never_drawn;
    char line[160];
    snprintf(line, sizeof line, "model: %d objects, %lld faces, %d textures (%d not found)\n", objects,
             faces, int(scene.textures.size()), missing);
    std::string text = line + hidden_line(scene);
    for (const scene_texture& texture : scene.textures)
        if (!texture.found && !texture.never_drawn)
            text += "texture not found: " + texture.name +
                    (texture.why.empty() ? "" : " (" + texture.why + ")") + "\n";
    return text + material_lines(scene);
}

bool tverts_given(const model_object& object, const model_face& face)
{
    for (int k = 0; k < 3; k++)
        if (face.tvert[k] < 0 || size_t(face.tvert[k]) >= object.tverts.size())
            return false;
    return true;
}

model_vec3 face_normal(const model_vec3* p[3])
{
    model_vec3 a = {p[1]->x - p[0]->x, p[1]->y - p[0]->y, p[1]->z - p[0]->z};
    model_vec3 b = {p[2]->x - p[0]->x, p[2]->y - p[0]->y, p[2]->z - p[0]->z};
    model_vec3 n = {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (!(length > 0.0f) || !std::isfinite(length))
        return {0.0f, 0.0f, 1.0f};
    return {n.x / length, n.y / length, n.z / length};
}

void corner_st(const model_material& material, const model_vec3& tvert, float st[2])
{
    st[0] = tvert.x * material.u_tiling + material.u_offset;
    st[1] = tvert.y * material.v_tiling + material.v_offset;
}

void model_scene::reset()
{
    for (scene_texture& texture : textures)
        image_free(texture.image);
    textures.clear();
    for (scene_map& map : maps)
        image_free(map.image);
    maps.clear();
    materials.clear();
    looks.clear();
    face_looks.clear();
    tree.reset();
}

model_scene::~model_scene()
{
    reset();
}
