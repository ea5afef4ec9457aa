#include "export/gltf.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <utility>

#include "image/png_write.h"
#include "mesh/huge_pages.h"

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
    std::vector<uint32_t> indices;
    std::vector<uint32_t> first_made;  // by the file's vertex number
    std::vector<uint32_t> next_same;   // by vertex: the one made before from the same vertex
};

struct builder {
    const model_scene& scene;
    const export_options& options;
    tinygltf::Model* gltf;
    std::vector<unsigned char>& data;
    std::vector<int> material_of;          // by look, -1 until made
    gltf_images& images;
    std::map<std::string, int> texture_of;  // by the file that gave it
};

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

// Adds the face's corners; a face with a corner that is not finite is left out.
void add_face(const builder& b, const model_object& object, const model_face& face, primitive* p)
{
    const scene_look& look = b.scene.looks[size_t(p->look)];
    const model_vec3* corners[3];
    for (int k = 0; k < 3; k++)
        corners[k] = &object.positions[size_t(face.vert[k])];
    model_vec3 flat = face.normals ? model_vec3{} : face_normal(corners);
    bool st = textured(b.scene, look);
    vertex v[3];
    for (int k = 0; k < 3; k++) {
        to_gltf_axes(*corners[k], b.options.scale, v[k].position);
        to_gltf_axes(unit_normal(face.normals ? face.normal[k] : flat), 1.0f, v[k].normal);
        v[k].st[0] = v[k].st[1] = 0.0f;
        if (st) {
            corner_st(*look.material, object.tverts[size_t(face.tvert[k])], v[k].st);
            // glTF's texture origin is the image's top left, the GL's its bottom left.
            v[k].st[1] = 1.0f - v[k].st[1];
        }
        if (!finite(v[k].position, 3) || !finite(v[k].st, 2))
            return;
    }
    if (p->first_made.empty())
        p->first_made.assign(object.positions.size(), none);
    for (int k = 0; k < 3; k++) {
        uint32_t& head = p->first_made[size_t(face.vert[k])];
        uint32_t i = head;
        while (i != none && !(p->vertices[i] == v[k]))
            i = p->next_same[i];
        if (i == none) {
            i = uint32_t(p->vertices.size());
            p->vertices.push_back(v[k]);
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

bool starts_with(const std::string& bytes, const char* signature, size_t size)
{
    return bytes.size() >= size && memcmp(bytes.data(), signature, size) == 0;
}

// The top level as RGBA, S3TC blocks decoded; null when memory fails.
const RgbaImage* rgba_of(const RgbaImage* image, RgbaImage** decoded)
{
    *decoded = image->layout == image_rgba8 ? nullptr : image_decompress(image);
    return image->layout == image_rgba8 ? image : *decoded;
}

// Whether the view's alpha test cuts texels of it: one below half.
bool cuts_texels(const RgbaImage& rgba)
{
    size_t count = size_t(rgba.width) * size_t(rgba.height);
    for (size_t i = 0; i < count; i++)
        if (rgba.pixels[i * 4 + 3] < 128)
            return true;
    return false;
}

// The image as PNG, top row first (ours are bottom row first).
bool encode_png(const RgbaImage& rgba, std::string* png)
{
    char* buffer = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&buffer, &size);
    if (stream == nullptr)
        return false;
    ptrdiff_t stride = ptrdiff_t(rgba.width) * 4;
    bool ok = png_write_rgba(stream, rgba.width, rgba.height,
                             rgba.pixels + (rgba.height - 1) * stride, -stride);
    ok = fclose(stream) == 0 && ok;
    if (ok)
        png->assign(buffer, size);
    free(buffer);
    return ok;
}

// The type of a file embedded as read, PNG or JPEG; null for any other.
const char* embedded_type(const std::string& bytes)
{
    if (starts_with(bytes, "\x89PNG\r\n\x1a\n", 8))
        return "image/png";
    if (starts_with(bytes, "\xff\xd8\xff", 3))
        return "image/jpeg";
    return nullptr;
}

// The image of a picture and its file's bytes: the bytes when they are
// embedded as read, else the picture (null when it is not had) as PNG.
gltf_image image_of(const RgbaImage* picture, std::string bytes)
{
    gltf_image image;
    RgbaImage* decoded = nullptr;
    const RgbaImage* rgba = picture != nullptr ? rgba_of(picture, &decoded) : nullptr;
    image.cut = rgba != nullptr && cuts_texels(*rgba);
    if (const char* type = embedded_type(bytes)) {
        image.mime_type = type;
        image.bytes = std::move(bytes);
    } else if (rgba != nullptr && encode_png(*rgba, &image.bytes)) {
        image.mime_type = "image/png";
    }
    image_free(decoded);
    return image;
}

// The glTF texture of a found scene texture, its image once per file; -1
// when it cannot be encoded. The image's bytes move into the buffer.
int texture_for(builder& b, const scene_texture& texture, bool* cut, std::string* why)
{
    gltf_image& made = b.images.of(texture);
    *cut = made.cut;
    auto known = b.texture_of.find(texture.where);
    if (known != b.texture_of.end())
        return known->second;
    if (made.mime_type.empty()) {
        *why = texture.where + ": cannot be encoded as PNG";
        return -1;
    }
    tinygltf::Image image;
    image.name = utf8_name(texture.name);
    image.mimeType = made.mime_type;
    image.bufferView = add_view(b, made.bytes.data(), made.bytes.size(), 0);
    std::string().swap(made.bytes);
    b.gltf->images.push_back(image);
    tinygltf::Texture gltf_texture;
    gltf_texture.source = int(b.gltf->images.size()) - 1;
    gltf_texture.sampler = 0;
    b.gltf->textures.push_back(gltf_texture);
    return b.texture_of[texture.where] = int(b.gltf->textures.size()) - 1;
}

double unit_interval(float v)
{
    return std::isfinite(v) ? std::clamp(double(v), 0.0, 1.0) : 0.0;
}

// The look's material, made the first time a primitive uses it; -1 when
// its texture cannot be encoded.
int material_for(builder& b, int look_index, std::string* why)
{
    int& made = b.material_of[size_t(look_index)];
    if (made >= 0)
        return made;
    const scene_look& look = b.scene.looks[size_t(look_index)];
    tinygltf::Material material;
    material.name = look.material ? utf8_name(look.material->name) : "";
    tinygltf::PbrMetallicRoughness& pbr = material.pbrMetallicRoughness;
    pbr.metallicFactor = 0.0;
    pbr.roughnessFactor = 1.0;
    pbr.baseColorFactor = {unit_interval(look.color[0]), unit_interval(look.color[1]),
                           unit_interval(look.color[2]), 1.0};
    if (textured(b.scene, look)) {
        bool cut;
        pbr.baseColorTexture.index = texture_for(b, b.scene.textures[size_t(look.texture)], &cut, why);
        if (pbr.baseColorTexture.index < 0)
            return -1;
        if (cut)
            material.alphaMode = "MASK";
    }
    material.doubleSided = look.two_sided;
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
            primitives.push_back({l, {}, {}, {}, {}});
            faces.push_back(0);
        }
        faces[size_t(slot[size_t(l)])]++;
    });
    for (size_t i = 0; i < primitives.size(); i++) {
        // Every corner may make a vertex; what is not filled is never touched.
        reserve_in_huge_pages(&primitives[i].indices, faces[i] * 3);
        reserve_in_huge_pages(&primitives[i].vertices, faces[i] * 3);
        reserve_in_huge_pages(&primitives[i].next_same, faces[i] * 3);
    }
    each_written_face(b, object, look, [&](const model_face& face, int l) {
        add_face(b, object, face, &primitives[size_t(slot[size_t(l)])]);
    });
    return primitives;
}

// Room in the binary buffer for the primitives' views, grown at least
// twofold so that many small objects do not copy it over and over.
void make_room(builder& b, const std::vector<primitive>& primitives)
{
    size_t needed = b.data.size();
    for (const primitive& p : primitives)
        needed += p.vertices.size() * sizeof(vertex) + p.indices.size() * 4 + 16;
    if (needed > b.data.capacity())
        reserve_in_huge_pages(&b.data, std::max(needed, b.data.capacity() * 2));
}

bool add_primitive(builder& b, primitive& p, tinygltf::Mesh* mesh, std::string* why)
{
    if (p.indices.empty())
        return true;
    std::vector<uint32_t>().swap(p.first_made);
    std::vector<uint32_t>().swap(p.next_same);
    tinygltf::Primitive out;
    out.mode = TINYGLTF_MODE_TRIANGLES;
    out.material = material_for(b, p.look, why);
    if (out.material < 0)
        return false;
    out.attributes["POSITION"] = add_positions(b, p.vertices);
    out.attributes["NORMAL"] = add_attribute(b, p.vertices, &vertex::normal, TINYGLTF_TYPE_VEC3);
    if (textured(b.scene, b.scene.looks[size_t(p.look)]))
        out.attributes["TEXCOORD_0"] = add_attribute(b, p.vertices, &vertex::st, TINYGLTF_TYPE_VEC2);
    out.indices = add_indices(b, p);
    mesh->primitives.push_back(out);
    return true;
}

}  // namespace

void gltf_images::take(scene_texture& texture)
{
    if (!texture.found || texture.white)
        return;
    // PNG and JPEG files are embedded as read; any other is let go of
    // before its picture is encoded.
    std::string bytes;
    bytes.swap(texture.bytes);
    if (!embedded_type(bytes))
        std::string().swap(bytes);
    std::unique_ptr<RgbaImage, void (*)(RgbaImage*)> picture(std::exchange(texture.image, nullptr),
                                                             image_free);
    if (!by_file_.contains(texture.where))
        by_file_.emplace(texture.where, image_of(picture.get(), std::move(bytes)));
}

gltf_image& gltf_images::of(const scene_texture& texture)
{
    auto known = by_file_.find(texture.where);
    if (known == by_file_.end()) {
        std::string bytes = embedded_type(texture.bytes) ? texture.bytes : std::string();
        known = by_file_.emplace(texture.where, image_of(texture.image, std::move(bytes))).first;
    }
    return known->second;
}

bool build_gltf(const model_scene& scene, const export_options& options, tinygltf::Model* gltf,
                std::string* why, gltf_images images)
{
    *gltf = {};
    gltf->asset.version = "2.0";
    gltf->asset.generator = "aseview-export";
    gltf->buffers.emplace_back();
    builder b{scene, options, gltf, gltf->buffers[0].data, std::vector<int>(scene.looks.size(), -1),
              images, {}};
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
    if (gltf->textures.empty())
        gltf->samplers.clear();
    if (b.data.empty())
        gltf->buffers.clear();
    return true;
}
