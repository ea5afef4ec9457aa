#include "export/gltf.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "export/material_meaning.h"
#include "mesh/huge_pages.h"
#include "scene/tangents.h"

namespace {

// A corner as written: glTF's axes, scaled; compared to the bit.
struct vertex {
    float position[3], normal[3], st[2];
    bool operator==(const vertex& other) const { return memcmp(this, &other, sizeof *this) == 0; }
};
static_assert(sizeof(vertex) == 32);

constexpr uint32_t none = UINT32_MAX;

// One object's faces of one look. A corner's vertex is looked for among
// those made from the same vertex of the file: a chain mostly one or two
// long, walked far faster than a hash table over a million faces.
struct primitive {
    int look;
    std::vector<vertex> vertices;
    std::vector<std::array<float, 3>> colors;  // by vertex, when the material takes the file's
    std::vector<uint32_t> indices;
    std::vector<uint32_t> first_made;  // by the file's vertex number
    std::vector<uint32_t> next_same;   // by vertex: the one made before from the same vertex
};

// How a look's corners are written, decided once for all its faces.
struct corner_rules {
    bool st;              // texture coordinates written
    const float* baked;   // the transform baked into them, or null
    bool reversed;        // back faces alone: the other winding, the normals turned
    bool colored, inverted;
};

struct builder {
    const model_scene& scene;
    const export_options& options;
    tinygltf::Model* gltf;
    std::vector<unsigned char>& data;
    std::vector<int> material_of;          // by look, -1 until made
    gltf_images& images;
    std::map<std::string, int> texture_of;  // by the image's key (gltf_images)
    std::vector<material_meaning> meanings;  // by look
    std::vector<corner_rules> corners;       // by look
    std::set<std::string> extensions;
    std::string* said;
};

const material_meaning& meaning_of(const builder& b, int look)
{
    return b.meanings[size_t(look)];
}

// Z up becomes Y up: (x, y, z) reads as (x, z, -y).
void to_gltf_axes(const model_vec3& v, float scale, float out[3])
{
    out[0] = v.x * scale;
    out[1] = v.z * scale;
    out[2] = -v.y * scale;
}

// A unit normal, whatever the file gives: (0, 0, 1) for none.
model_vec3 unit_normal(const model_vec3& n)
{
    double length = std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
    if (!(length > 0.0) || !std::isfinite(length))
        return {0.0f, 0.0f, 1.0f};
    // One division for the three: this runs for every corner of a model.
    double inverse = 1.0 / length;
    return {float(n.x * inverse), float(n.y * inverse), float(n.z * inverse)};
}

bool finite(const float* values, int count)
{
    return std::all_of(values, values + count, [](float v) { return std::isfinite(v); });
}

// The length of the well-formed UTF-8 sequence at name[i], or 0.
size_t utf8_sequence(const std::string& name, size_t i)
{
    auto byte = [&](size_t k) { return (unsigned char)name[i + k]; };
    unsigned char c = byte(0);
    if (c < 0x80)
        return 1;
    size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0 || i + n > name.size())
        return 0;
    for (size_t k = 1; k < n; k++)
        if ((byte(k) & 0xC0) != 0x80)
            return 0;
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    unsigned char d = byte(1);
    if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d > 0x9F) || (c == 0xF0 && d < 0x90) || (c == 0xF4 && d > 0x8F))
        return 0;
    return n;
}

// A name as glTF's JSON must hold it, in UTF-8: files saved in a Western
// code page write é and ß as single bytes, read here as Latin-1.
std::string utf8_name(const std::string& name)
{
    std::string out;
    for (size_t i = 0; i < name.size();) {
        if (size_t n = utf8_sequence(name, i)) {
            out.append(name, i, n);
            i += n;
        } else {
            unsigned char c = (unsigned char)name[i++];
            out += char(0xC0 | c >> 6);
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool textured(const model_scene& scene, const scene_look& look)
{
    return look.texture >= 0 && !scene.textures[size_t(look.texture)].white;
}

// Whether the look's primitives carry texture coordinates.
bool has_st(const builder& b, int look)
{
    const material_meaning& meaning = meaning_of(b, look);
    if (!meaning.game)
        return textured(b.scene, b.scene.looks[size_t(look)]);
    return meaning.base.used() || meaning.base_from_look || meaning.normal.used() || meaning.specular.used() ||
           meaning.emissive.used();
}

// The one transform of the look's maps, baked into its coordinates; null
// when each map keeps its own.
const float* baked_transform(const material_meaning& meaning)
{
    if (!meaning.game || !one_transform(meaning))
        return nullptr;
    for (const meaning_map* map : meaning.maps())
        if (map->used())
            return map->matrix;
    return nullptr;
}

// The corner's colour as the material takes the file's.
std::array<float, 3> corner_color(const model_object& object, const model_face& face, int k, bool inverted)
{
    model_vec3 c = vertex_color(object, face, k);
    if (inverted)
        return {1.0f - c.x, 1.0f - c.y, 1.0f - c.z};
    return {c.x, c.y, c.z};
}

corner_rules corner_rules_of(const builder& b, int look)
{
    const material_meaning& meaning = meaning_of(b, look);
    return {has_st(b, look), baked_transform(meaning), meaning.reversed,
            meaning.vertex_colors != meaning_vertex_colors::none,
            meaning.vertex_colors == meaning_vertex_colors::inverted};
}

// Adds the face's corners; a face with a corner that is not finite is left out.
void add_face(const builder& b, const model_object& object, const model_face& face, primitive* p)
{
    const scene_look& look = b.scene.looks[size_t(p->look)];
    const corner_rules& rules = b.corners[size_t(p->look)];
    const model_vec3* corners[3];
    for (int k = 0; k < 3; k++)
        corners[k] = &object.positions[size_t(face.vert[k])];
    model_vec3 flat = face.normals ? model_vec3{} : face_normal(corners);
    bool st = rules.st;
    const float* m = rules.baked;
    float turn = rules.reversed ? -1.0f : 1.0f;
    vertex v[3];
    for (int k = 0; k < 3; k++) {
        to_gltf_axes(*corners[k], b.options.scale, v[k].position);
        to_gltf_axes(unit_normal(face.normals ? face.normal[k] : flat), turn, v[k].normal);
        v[k].st[0] = v[k].st[1] = 0.0f;
        if (st) {
            corner_st(*look.material, object.tverts[size_t(face.tvert[k])], v[k].st);
            // glTF's texture origin is the image's top left, the GL's its bottom left.
            v[k].st[1] = 1.0f - v[k].st[1];
            if (m != nullptr) {
                float s = v[k].st[0], t = v[k].st[1];
                v[k].st[0] = m[0] * s + m[1] * t + m[2];
                v[k].st[1] = m[3] * s + m[4] * t + m[5];
            }
        }
        if (!finite(v[k].position, 3) || !finite(v[k].st, 2))
            return;
    }
    bool colored = rules.colored;
    if (p->first_made.empty())
        p->first_made.assign(object.positions.size(), none);
    static const int order[2][3] = {{0, 1, 2}, {0, 2, 1}};
    for (int k : order[rules.reversed]) {
        std::array<float, 3> color{};
        if (colored)
            color = corner_color(object, face, k, rules.inverted);
        uint32_t& head = p->first_made[size_t(face.vert[k])];
        uint32_t i = head;
        while (i != none && !(p->vertices[i] == v[k] && (!colored || p->colors[i] == color)))
            i = p->next_same[i];
        if (i == none) {
            i = uint32_t(p->vertices.size());
            p->vertices.push_back(v[k]);
            if (colored)
                p->colors.push_back(color);
            p->next_same.push_back(head);
            head = i;
        }
        p->indices.push_back(i);
    }
}

// Room for a buffer view of `size` bytes at the binary buffer's end, 4-byte
// aligned as accessors need; its index, and where to fill it in *at.
int new_view(builder& b, size_t size, int target, unsigned char** at)
{
    size_t offset = (b.data.size() + 3) & ~size_t(3);
    b.data.resize(offset + size);
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = offset;
    view.byteLength = size;
    view.target = target;
    b.gltf->bufferViews.push_back(view);
    *at = b.data.data() + offset;
    return int(b.gltf->bufferViews.size()) - 1;
}

int add_view(builder& b, const void* bytes, size_t size, int target)
{
    unsigned char* at;
    int view = new_view(b, size, target, &at);
    memcpy(at, bytes, size);
    return view;
}

int add_accessor(builder& b, int view, int component, size_t count, int type)
{
    tinygltf::Accessor accessor;
    accessor.bufferView = view;
    accessor.componentType = component;
    accessor.count = count;
    accessor.type = type;
    b.gltf->accessors.push_back(accessor);
    return int(b.gltf->accessors.size()) - 1;
}

// One attribute of every vertex, packed.
template <size_t N>
int add_attribute(builder& b, const std::vector<vertex>& vertices, float (vertex::*field)[N], int type)
{
    unsigned char* at;
    int view = new_view(b, vertices.size() * sizeof(float[N]), TINYGLTF_TARGET_ARRAY_BUFFER, &at);
    for (const vertex& v : vertices) {
        memcpy(at, v.*field, sizeof(float[N]));
        at += sizeof(float[N]);
    }
    return add_accessor(b, view, TINYGLTF_COMPONENT_TYPE_FLOAT, vertices.size(), type);
}

int add_positions(builder& b, const std::vector<vertex>& vertices)
{
    int accessor = add_attribute(b, vertices, &vertex::position, TINYGLTF_TYPE_VEC3);
    std::vector<double> lo(3, INFINITY), hi(3, -INFINITY);
    for (const vertex& v : vertices)
        for (int c = 0; c < 3; c++) {
            lo[size_t(c)] = std::min(lo[size_t(c)], double(v.position[c]));
            hi[size_t(c)] = std::max(hi[size_t(c)], double(v.position[c]));
        }
    b.gltf->accessors[size_t(accessor)].minValues = lo;
    b.gltf->accessors[size_t(accessor)].maxValues = hi;
    return accessor;
}

// 16-bit indices while they fit (65535 itself would mean a restart).
int add_indices(builder& b, const primitive& p)
{
    int view;
    int component;
    if (p.vertices.size() <= 65535) {
        unsigned char* at;
        view = new_view(b, p.indices.size() * 2, TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER, &at);
        for (uint32_t i : p.indices) {
            uint16_t narrow = uint16_t(i);
            memcpy(at, &narrow, 2);
            at += 2;
        }
        component = TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT;
    } else {
        view = add_view(b, p.indices.data(), p.indices.size() * 4, TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER);
        component = TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
    }
    return add_accessor(b, view, component, p.indices.size(), TINYGLTF_TYPE_SCALAR);
}

// The glTF texture of an image, embedded once for its key; -1 when it
// cannot be encoded. The image's bytes move into the buffer.
int embed(builder& b, const std::string& key, const std::string& name, gltf_image& made, std::string* why)
{
    auto known = b.texture_of.find(key);
    if (known != b.texture_of.end())
        return known->second;
    if (made.mime_type.empty()) {
        *why = key + ": cannot be encoded as PNG";
        return -1;
    }
    tinygltf::Image image;
    image.name = utf8_name(name);
    image.mimeType = made.mime_type;
    image.bufferView = add_view(b, made.bytes.data(), made.bytes.size(), 0);
    std::string().swap(made.bytes);
    b.gltf->images.push_back(image);
    tinygltf::Texture gltf_texture;
    gltf_texture.source = int(b.gltf->images.size()) - 1;
    gltf_texture.sampler = 0;
    b.gltf->textures.push_back(gltf_texture);
    return b.texture_of[key] = int(b.gltf->textures.size()) - 1;
}

// The glTF texture of a found scene texture, its image once per file.
int texture_for(builder& b, const scene_texture& texture, bool* cut, std::string* why)
{
    gltf_image& made = b.images.of(texture);
    *cut = made.cut;
    return embed(b, texture.where, texture.name, made, why);
}

double unit_interval(float v)
{
    return std::isfinite(v) ? std::clamp(double(v), 0.0, 1.0) : 0.0;
}

tinygltf::Value number_array(std::initializer_list<double> numbers)
{
    tinygltf::Value::Array array;
    for (double n : numbers)
        array.emplace_back(n);
    return tinygltf::Value(std::move(array));
}

bool identity(const float m[6])
{
    static const float one[6] = {1, 0, 0, 0, 1, 0};
    return memcmp(m, one, sizeof one) == 0;
}

// The affine map as glTF's offset, rotation and scale: uv' = offset + R (scale uv),
// R's columns (cos r, sin r) and (-sin r, cos r). A shear has no place in it.
tinygltf::Value transform_value(const float m[6])
{
    double r = std::atan2(double(m[3]), double(m[0]));
    double sx = std::hypot(double(m[0]), double(m[3]));
    double sy = double(m[4]) * std::cos(r) - double(m[1]) * std::sin(r);
    tinygltf::Value::Object transform;
    transform["offset"] = number_array({m[2], m[5]});
    transform["rotation"] = tinygltf::Value(r);
    transform["scale"] = number_array({sx, sy});
    return tinygltf::Value(std::move(transform));
}

// A part's texture: its index, and its own transform unless the look's is baked.
int map_texture(builder& b, const meaning_map& use, bool baked, tinygltf::ExtensionMap* extensions,
                std::string* why)
{
    const scene_map& map = b.scene.maps[size_t(use.map)];
    gltf_image& made = b.images.of(b.scene, map, use.conversion);
    int index = embed(b, gltf_images::key(map.where, use.conversion), map.name, made, why);
    if (index >= 0 && !baked && !identity(use.matrix)) {
        (*extensions)["KHR_texture_transform"] = transform_value(use.matrix);
        b.extensions.insert("KHR_texture_transform");
    }
    return index;
}

// A texture info inside an extension, where the library takes plain values.
bool texture_value(builder& b, const meaning_map& use, bool baked, tinygltf::Value* value, std::string* why)
{
    tinygltf::ExtensionMap extensions;
    int index = map_texture(b, use, baked, &extensions, why);
    if (index < 0)
        return false;
    tinygltf::Value::Object info;
    info["index"] = tinygltf::Value(index);
    if (!extensions.empty())
        info["extensions"] = tinygltf::Value(tinygltf::Value::Object(extensions.begin(), extensions.end()));
    *value = tinygltf::Value(std::move(info));
    return true;
}

void extend(builder& b, tinygltf::Material* material, const char* name, tinygltf::Value::Object value)
{
    material->extensions[name] = tinygltf::Value(std::move(value));
    b.extensions.insert(name);
}

// The look's texture and colour alone, as the view's editor look shows them.
bool plain_material(builder& b, const scene_look& look, tinygltf::Material* material, std::string* why)
{
    tinygltf::PbrMetallicRoughness& pbr = material->pbrMetallicRoughness;
    pbr.baseColorFactor = {unit_interval(look.color[0]), unit_interval(look.color[1]),
                           unit_interval(look.color[2]), 1.0};
    if (textured(b.scene, look)) {
        bool cut;
        pbr.baseColorTexture.index = texture_for(b, b.scene.textures[size_t(look.texture)], &cut, why);
        if (pbr.baseColorTexture.index < 0)
            return false;
        if (cut)
            material->alphaMode = "MASK";
    }
    material->doubleSided = look.two_sided;
    return true;
}

bool specular_extension(builder& b, const material_meaning& meaning, bool baked, tinygltf::Material* material,
                        std::string* why)
{
    tinygltf::Value::Object specular;
    specular["specularFactor"] = tinygltf::Value(double(meaning.specular_factor));
    const float* c = meaning.specular_color;
    if (c[0] != 1 || c[1] != 1 || c[2] != 1)
        specular["specularColorFactor"] = number_array({c[0], c[1], c[2]});
    if (meaning.specular.used() && !texture_value(b, meaning.specular, baked, &specular["specularColorTexture"], why))
        return false;
    extend(b, material, "KHR_materials_specular", std::move(specular));
    return true;
}

// The material as the game draws it, as far as glTF can say.
bool game_material(builder& b, const scene_look& look, const material_meaning& meaning,
                   tinygltf::Material* material, std::string* why)
{
    bool baked = one_transform(meaning), cut = false;
    tinygltf::PbrMetallicRoughness& pbr = material->pbrMetallicRoughness;
    pbr.roughnessFactor = meaning.roughness;
    const float* c = meaning.base_color;
    pbr.baseColorFactor = {unit_interval(c[0]), unit_interval(c[1]), unit_interval(c[2]), unit_interval(c[3])};
    if (meaning.base.used()) {
        pbr.baseColorTexture.index = map_texture(b, meaning.base, baked, &pbr.baseColorTexture.extensions, why);
        const scene_map& map = b.scene.maps[size_t(meaning.base.map)];
        cut = b.images.of(b.scene, map, meaning.base.conversion).cut;
    } else if (meaning.base_from_look && textured(b.scene, look)) {
        pbr.baseColorTexture.index = texture_for(b, b.scene.textures[size_t(look.texture)], &cut, why);
    }
    if (meaning.normal.used())
        material->normalTexture.index = map_texture(b, meaning.normal, baked, &material->normalTexture.extensions, why);
    if (meaning.roughness_map.used())
        pbr.metallicRoughnessTexture.index =
            map_texture(b, meaning.roughness_map, baked, &pbr.metallicRoughnessTexture.extensions, why);
    if (meaning.emissive.used())
        material->emissiveTexture.index =
            map_texture(b, meaning.emissive, baked, &material->emissiveTexture.extensions, why);
    if (!why->empty())
        return false;
    const float* e = meaning.emissive_color;
    if (e[0] > 0 || e[1] > 0 || e[2] > 0)
        material->emissiveFactor = {unit_interval(e[0]), unit_interval(e[1]), unit_interval(e[2])};
    if (meaning.emissive_strength > 1)
        extend(b, material, "KHR_materials_emissive_strength",
               {{"emissiveStrength", tinygltf::Value(double(meaning.emissive_strength))}});
    if (meaning.specular_written && !specular_extension(b, meaning, baked, material, why))
        return false;
    if (meaning.unlit)
        extend(b, material, "KHR_materials_unlit", {});
    if (meaning.alpha == meaning_alpha::mask) {
        material->alphaMode = "MASK";
        material->alphaCutoff = meaning.alpha_cutoff;
    } else if (meaning.alpha == meaning_alpha::blend) {
        material->alphaMode = "BLEND";
    } else if (meaning.implicit && cut) {
        material->alphaMode = "MASK";
    }
    material->doubleSided = meaning.double_sided;
    *b.said += meaning.dropped;
    return true;
}

// The look's material, made the first time a primitive uses it; -1 when
// one of its images cannot be encoded.
int material_for(builder& b, int look_index, std::string* why)
{
    int& made = b.material_of[size_t(look_index)];
    if (made >= 0)
        return made;
    const scene_look& look = b.scene.looks[size_t(look_index)];
    const material_meaning& meaning = meaning_of(b, look_index);
    tinygltf::Material material;
    material.name = look.material ? utf8_name(look.material->name) : "";
    material.pbrMetallicRoughness.metallicFactor = 0.0;
    material.pbrMetallicRoughness.roughnessFactor = 1.0;
    why->clear();
    if (!(meaning.game ? game_material(b, look, meaning, &material, why) : plain_material(b, look, &material, why)))
        return -1;
    // What the colour stands in for, and surfaces kept that the game never draws.
    tinygltf::Value::Object extras;
    if (look.missing)
        extras["missing_texture"] = tinygltf::Value(utf8_name(b.scene.textures[size_t(look.named)].name));
    if (look.hidden)
        extras["never_drawn"] = tinygltf::Value(true);
    if (!extras.empty())
        material.extras = tinygltf::Value(extras);
    b.gltf->materials.push_back(material);
    return made = int(b.gltf->materials.size()) - 1;
}

// Calls f(face, look) for the object's drawn faces that are written;
// `look` walks the scene's face looks.
template <class F>
void each_written_face(const builder& b, const model_object& object, std::vector<int>::const_iterator* look, F f)
{
    for (const model_face& face : object.faces) {
        if (!model_face_drawable(object, face))
            continue;
        int l = *(*look)++;
        if (!b.scene.looks[size_t(l)].hidden || b.options.all_surfaces)
            f(face, l);
    }
}

// The object's primitives, its faces sorted by look in the order the looks
// first come. They are counted first, so that the lists are made at their
// size rather than grown: a large model's memory comes and goes otherwise.
std::vector<primitive> object_primitives(const builder& b, const model_object& object,
                                         std::vector<int>::const_iterator* look)
{
    std::vector<primitive> primitives;
    std::vector<int> slot(b.scene.looks.size(), -1);
    std::vector<size_t> faces;
    auto counted = *look;
    each_written_face(b, object, &counted, [&](const model_face&, int l) {
        if (slot[size_t(l)] < 0) {
            slot[size_t(l)] = int(primitives.size());
            primitives.push_back({l, {}, {}, {}, {}, {}});
            faces.push_back(0);
        }
        faces[size_t(slot[size_t(l)])]++;
    });
    for (size_t i = 0; i < primitives.size(); i++) {
        // Every corner may make a vertex; what is not filled is never touched.
        reserve_in_huge_pages(&primitives[i].indices, faces[i] * 3);
        reserve_in_huge_pages(&primitives[i].vertices, faces[i] * 3);
        reserve_in_huge_pages(&primitives[i].next_same, faces[i] * 3);
        if (meaning_of(b, primitives[i].look).vertex_colors != meaning_vertex_colors::none)
            primitives[i].colors.reserve(faces[i] * 3);
    }
    each_written_face(b, object, look, [&](const model_face& face, int l) {
        add_face(b, object, face, &primitives[size_t(slot[size_t(l)])]);
    });
    return primitives;
}

// Room in the binary buffer for the primitives' views, grown at least
// twofold so that many small objects do not copy it over and over.
// Starts making the maps the primitives' materials embed, on other threads,
// and gives the most their images may take in the buffer.
size_t start_images(builder& b, const std::vector<primitive>& primitives)
{
    std::set<std::string> counted;
    size_t bytes = 0;
    auto count = [&](const std::string& key, size_t most) {
        if (!b.texture_of.contains(key) && counted.insert(key).second)
            bytes += most;
    };
    for (const primitive& p : primitives) {
        const scene_look& look = b.scene.looks[size_t(p.look)];
        const material_meaning& meaning = meaning_of(b, p.look);
        if ((!meaning.game || meaning.base_from_look) && textured(b.scene, look)) {
            const scene_texture& texture = b.scene.textures[size_t(look.texture)];
            count(texture.where, b.images.of(texture).bytes.size());
        }
        if (!meaning.game)
            continue;
        for (const meaning_map* use : meaning.maps())
            if (use->used()) {
                const scene_map& map = b.scene.maps[size_t(use->map)];
                b.images.start(b.scene, map, use->conversion);
                count(gltf_images::key(map.where, use->conversion), map_image_bound(b.scene, map, use->conversion));
            }
    }
    return bytes;
}

void make_room(builder& b, const std::vector<primitive>& primitives)
{
    size_t needed = b.data.size() + start_images(b, primitives);
    for (const primitive& p : primitives) {
        needed += p.vertices.size() * sizeof(vertex) + p.colors.size() * 12 + p.indices.size() * 4 + 64;
        if (meaning_of(b, p.look).normal.used())
            needed += p.vertices.size() * 16;  // tangents
    }
    if (needed > b.data.capacity())
        reserve_in_huge_pages(&b.data, std::max(needed, b.data.capacity() * 2));
}

model_vec3 cross(const model_vec3& a, const model_vec3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float dot(const model_vec3& a, const model_vec3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// The game's tangent frames, for a normal map to light as in the game: T
// along +s, and w turning glTF's bitangent N x T to picture-up, the
// opposite of the game's B (the map's green is turned to match). Vertices
// where mirrored texture coordinates meet are split, as the game splits
// them. Empty when the frames cannot be had.
std::vector<std::array<float, 4>> game_tangents(primitive& p)
{
    std::vector<model_vec3> positions, normals;
    std::vector<tangent_st> st;
    for (const vertex& v : p.vertices) {
        positions.push_back({v.position[0], v.position[1], v.position[2]});
        normals.push_back({v.normal[0], v.normal[1], v.normal[2]});
        st.push_back({v.st[0], v.st[1]});
    }
    std::optional<tangent_frames> frames = derive_tangents({positions, st, normals, true, p.indices});
    if (!frames)
        return {};
    for (uint32_t from : frames->copied_from) {
        p.vertices.push_back(p.vertices[from]);
        normals.push_back(normals[from]);
        if (!p.colors.empty())
            p.colors.push_back(p.colors[from]);
    }
    p.indices = std::move(frames->corners);
    std::vector<std::array<float, 4>> tangents;
    for (size_t i = 0; i < p.vertices.size(); i++) {
        model_vec3 n = normals[i], t = frames->tangents[i];
        if (dot(t, t) == 0.0f) {
            // No texture-coordinate area: any direction along the surface.
            t = cross(std::fabs(n.x) < 0.9f ? model_vec3{1, 0, 0} : model_vec3{0, 1, 0}, n);
            float length = std::sqrt(dot(t, t));
            t = {t.x / length, t.y / length, t.z / length};
        }
        float w = dot(cross(n, t), frames->bitangents[i]) > 0.0f ? -1.0f : 1.0f;
        tangents.push_back({t.x, t.y, t.z, w});
    }
    return tangents;
}

bool add_primitive(builder& b, primitive& p, tinygltf::Mesh* mesh, std::string* why)
{
    if (p.indices.empty())
        return true;
    std::vector<uint32_t>().swap(p.first_made);
    std::vector<uint32_t>().swap(p.next_same);
    // The tangents first: the material's maps are made meanwhile.
    std::vector<std::array<float, 4>> tangents;
    if (meaning_of(b, p.look).normal.used())
        tangents = game_tangents(p);
    tinygltf::Primitive out;
    out.mode = TINYGLTF_MODE_TRIANGLES;
    out.material = material_for(b, p.look, why);
    if (out.material < 0)
        return false;
    out.attributes["POSITION"] = add_positions(b, p.vertices);
    out.attributes["NORMAL"] = add_attribute(b, p.vertices, &vertex::normal, TINYGLTF_TYPE_VEC3);
    if (has_st(b, p.look))
        out.attributes["TEXCOORD_0"] = add_attribute(b, p.vertices, &vertex::st, TINYGLTF_TYPE_VEC2);
    if (!p.colors.empty()) {
        int view = add_view(b, p.colors.data(), p.colors.size() * sizeof p.colors[0], TINYGLTF_TARGET_ARRAY_BUFFER);
        out.attributes["COLOR_0"] = add_accessor(b, view, TINYGLTF_COMPONENT_TYPE_FLOAT, p.colors.size(), TINYGLTF_TYPE_VEC3);
    }
    if (!tangents.empty()) {
        int view = add_view(b, tangents.data(), tangents.size() * sizeof tangents[0], TINYGLTF_TARGET_ARRAY_BUFFER);
        out.attributes["TANGENT"] = add_accessor(b, view, TINYGLTF_COMPONENT_TYPE_FLOAT, tangents.size(), TINYGLTF_TYPE_VEC4);
    }
    out.indices = add_indices(b, p);
    mesh->primitives.push_back(out);
    return true;
}

}  // namespace

bool build_gltf(const model_scene& scene, const export_options& options, tinygltf::Model* gltf,
                std::string* why, gltf_images images, std::string* said)
{
    *gltf = {};
    gltf->asset.version = "2.0";
    gltf->asset.generator = "aseview-export";
    gltf->buffers.emplace_back();
    std::string notes;
    builder b{scene, options, gltf, gltf->buffers[0].data, std::vector<int>(scene.looks.size(), -1),
              images, {}, {}, {}, {}, said != nullptr ? said : &notes};
    for (const scene_look& look : scene.looks)
        b.meanings.push_back(options.plain ? material_meaning{} : look_meaning(scene, look));
    for (size_t look = 0; look < scene.looks.size(); look++)
        b.corners.push_back(corner_rules_of(b, int(look)));
    // The view repeats its textures.
    tinygltf::Sampler sampler;
    sampler.magFilter = TINYGLTF_TEXTURE_FILTER_LINEAR;
    sampler.minFilter = TINYGLTF_TEXTURE_FILTER_LINEAR_MIPMAP_LINEAR;
    gltf->samplers.push_back(sampler);
    gltf->scenes.emplace_back();
    auto look = scene.face_looks.cbegin();
    for (const model_object& object : model_objects) {
        std::vector<primitive> primitives = object_primitives(b, object, &look);
        make_room(b, primitives);
        tinygltf::Mesh mesh;
        mesh.name = utf8_name(object.name);
        for (primitive& p : primitives) {
            if (!add_primitive(b, p, &mesh, why))
                return false;
            p = {};
        }
        if (mesh.primitives.empty())
            continue;
        gltf->meshes.push_back(mesh);
        tinygltf::Node node;
        node.name = mesh.name;
        node.mesh = int(gltf->meshes.size()) - 1;
        gltf->nodes.push_back(node);
        gltf->scenes[0].nodes.push_back(int(gltf->nodes.size()) - 1);
    }
    // A scene without a node is no glTF a program can open.
    if (gltf->nodes.empty()) {
        *why = hidden_faces(scene) > 0 && !options.all_surfaces
                   ? "every face is one the game never draws (--all-surfaces keeps them)"
                   : "no faces to draw";
        return false;
    }
    gltf->defaultScene = 0;
    // Used, never required: a reader without them still opens the file.
    gltf->extensionsUsed.assign(b.extensions.begin(), b.extensions.end());
    if (gltf->textures.empty())
        gltf->samplers.clear();
    if (b.data.empty())
        gltf->buffers.clear();
    return true;
}
