// The model view's reader: one pass over the stream in blocks through the
// exact scanner. The braces are followed on a stack of open blocks, so that a
// keyword counts only in the block it belongs to; blocks it does not know are
// passed over whole, counting braces outside quoted strings.
#include "mesh/model.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include "mesh/huge_pages.h"
#include "mesh/scan.h"
#include "mesh/utf16.h"

// Never destroyed, like the mesh store: a fatal exit on another thread must
// not pull the store from under a reader still filling it.
std::vector<model_object>& model_objects = *new std::vector<model_object>;
std::vector<model_material>& model_materials = *new std::vector<model_material>;

// Bounds that keep hostile numbers and nesting from making memory: the
// materials of a file, all levels together; a material number past the end
// of its list; the blocks followed (deeper ones are passed over); the bytes
// kept of a texture name.
constexpr size_t max_materials = 1 << 20;
constexpr size_t max_material_gap = 1000;
constexpr size_t max_open_blocks = 64;
constexpr size_t max_bitmap_name = 1 << 20;
// A list reserves room for the count its mesh declares only once it has
// this many records, and all lists together reserve at most so many bytes:
// a declared count alone never allocates.
constexpr size_t reserve_after = 4096;
constexpr size_t max_reserved_bytes = size_t(256) << 20;

enum class word {
    vertex,
    face,
    tface,
    tvert,
    vertex_normal,
    face_normal,
    mtlid,
    num_vertex,
    num_tvertex,
    num_faces,
    num_cvertex,  // after the three other counts: declared[] follows this order
    vertex_color,
    color_face,
    open,
    close,
    geomobject,
    group,
    material_list,
    material,
    submaterial,
    mesh,
    material_ref,
    material_diffuse,
    map_diffuse,
    other_map,
    bitmap,
    u_offset,  // the four UVW words in the order of open_block::uvw
    v_offset,
    u_tiling,
    v_tiling,
    node_name,
    material_name,
    other_top_level,  // *SCENE and the other *...OBJECT blocks
    unknown,
};

// The lines of a mesh first: they are nearly all of a large file.
constexpr std::pair<std::string_view, word> keywords[] = {
    {"*MESH_VERTEX", word::vertex},
    {"*MESH_FACE", word::face},
    {"*MESH_TFACE", word::tface},
    {"*MESH_TVERT", word::tvert},
    {"*MESH_VERTEXNORMAL", word::vertex_normal},
    {"*MESH_FACENORMAL", word::face_normal},
    {"*MESH_MTLID", word::mtlid},
    {"*MESH_NUMVERTEX", word::num_vertex},
    {"*MESH_NUMTVERTEX", word::num_tvertex},
    {"*MESH_NUMFACES", word::num_faces},
    {"*MESH_VERTCOL", word::vertex_color},
    {"*MESH_CFACE", word::color_face},
    {"*MESH_NUMCVERTEX", word::num_cvertex},
    {"*GEOMOBJECT", word::geomobject},
    {"*GROUP", word::group},
    {"*MATERIAL_LIST", word::material_list},
    {"*MATERIAL", word::material},
    {"*SUBMATERIAL", word::submaterial},
    {"*MESH", word::mesh},
    {"*MATERIAL_REF", word::material_ref},
    {"*MATERIAL_DIFFUSE", word::material_diffuse},
    {"*MAP_DIFFUSE", word::map_diffuse},
    {"*BITMAP", word::bitmap},
    {"*UVW_U_OFFSET", word::u_offset},
    {"*UVW_V_OFFSET", word::v_offset},
    {"*UVW_U_TILING", word::u_tiling},
    {"*UVW_V_TILING", word::v_tiling},
    {"*NODE_NAME", word::node_name},
    {"*MATERIAL_NAME", word::material_name},
};

// Each keyword compared at its own constant length, so that the compiler
// turns every comparison into a few loads: the table walked with calls to
// memcmp was a tenth of reading a large model.
template <size_t... I> static word keyword_of(std::string_view token, std::index_sequence<I...>)
{
    word w = word::unknown;
    // The first match ends the fold; its value is in w.
    (void)((token.size() == keywords[I].first.size() &&
            memcmp(token.data(), keywords[I].first.data(), keywords[I].first.size()) == 0 &&
            (w = keywords[I].second, true)) ||
           ...);
    return w;
}

static word classify(std::string_view token)
{
    if (token == "{")
        return word::open;
    if (token == "}")
        return word::close;
    if (token.empty() || token[0] != '*')
        return word::unknown;
    if (word w = keyword_of(token, std::make_index_sequence<std::size(keywords)>()); w != word::unknown)
        return w;
    if (token == "*SCENE" || token.ends_with("OBJECT"))
        return word::other_top_level;
    return token.starts_with("*MAP_") ? word::other_map : word::unknown;
}

// Words that only ever stand at the file's top level (or in a group): one
// met inside a block means that the file never closed that block.
static bool starts_top_level_block(word w)
{
    return w == word::geomobject || w == word::material_list || w == word::other_top_level;
}

// A group holds objects as the file's top level does; the blocks inside a
// mesh (its lists) are read as the mesh itself.
enum class block { top, material_list, material, map, object, mesh };

struct open_block {
    block kind = block::top;
    model_object* object = nullptr;      // object, mesh
    bool mesh_read = false;              // object: its first *MESH has opened
    model_material* material = nullptr;  // material
    bool bitmap_from_diffuse = false;    // material
    size_t bitmap_order = SIZE_MAX;      // material: when its bitmap's *BITMAP came
    size_t owner = 0;                    // map: the stack place of its material
    bool diffuse_map = false;            // map
    std::string bitmap;                  // map: its first usable *BITMAP
    size_t order = 0;                    // map: when that came
    float uvw[4] = {0, 0, 1, 1};         // map
};

// What the next "{" opens, as the keyword before it says.
struct pending_block {
    block kind = block::top;
    bool set = false;
    int number = 0;  // material
    bool diffuse_map = false;
};

struct reader {
    scan_source s{};
    std::vector<open_block> stack;
    pending_block next;
    int skipped_depth = 0;  // braces open inside a block passed over
    size_t materials_made = 0;
    size_t bitmaps_read = 0;
    size_t reserved_bytes = 0;
    int declared[4] = {};  // the mesh's vertex, texture-vertex, face and colour-vertex counts
    int line_face = -1;    // the face stored on the current line, for *MESH_MTLID
    int normal_face = -1;  // the face that vertex normals fill
    unsigned normal_corners = 0;
};

static const model_material default_material = {{0, 0, 0}, 0, "", 0, 0, 1, 1, {}, ""};

static bool usable_bitmap(const std::string& name)
{
    return !name.empty() && name != "None";
}

// Whitespace up to the next byte; false at the end of input. A newline on
// the way ends the line a face was stored on.
static bool skip_space_noting_lines(reader* r)
{
    scan_source* s = &r->s;
    while (scan_ahead(s, 1) > 0) {
        // One pass, noting a newline on the way: a short run of blanks
        // before nearly every token is no job for memchr.
        const unsigned char* q = s->data + s->at;
        bool newline = false;
        for (; byte_classes[*q] & space_byte; q++)
            newline |= *q == '\n';
        if (newline)
            r->line_face = -1;
        s->at = size_t(q - s->data);
        if (s->at < s->end)
            return true;
    }
    return false;
}

// Whitespace within the line; false when the line or the input ends first.
static bool skip_blanks(scan_source* s)
{
    while (scan_ahead(s, 1) > 0 && s->data[s->at] != '\n') {
        if (!is_c_space(s->data[s->at]))
            return true;
        s->at++;
    }
    return false;
}

// Reads up to the first byte that ends the text, or to the end of input, of
// any length; keeps it in *text unless it is longer than a texture name may
// be (then false, *text empty). Null text: the bytes are passed over.
static bool read_text(scan_source* s, bool (*ends)(unsigned char), std::string* text)
{
    bool kept = true;
    while (scan_ahead(s, 1) > 0) {
        const unsigned char* p = s->data + s->at;
        const unsigned char* end = s->data + s->end;
        const unsigned char* q = std::find_if(p, end, ends);
        if (text && kept && text->size() + size_t(q - p) > max_bitmap_name) {
            kept = false;
            std::string().swap(*text);
        }
        if (text && kept)
            text->append(p, q);
        s->at = size_t(q - s->data);
        if (q < end)
            break;
    }
    return kept;
}

static bool ends_quoted(unsigned char c)
{
    return c == '"' || c == '\n';
}

static bool ends_token(unsigned char c)
{
    return is_c_space(c);
}

// A quoted string ends at its quote, or unclosed at the line's end.
static bool read_quoted(scan_source* s, std::string* text)
{
    s->at++;
    bool kept = read_text(s, ends_quoted, text);
    if (scan_ahead(s, 1) > 0 && s->data[s->at] == '"')
        s->at++;
    return kept;
}

// Passes over a token that can be no keyword and no brace, as scan_255s
// reads it: up to 255 bytes, to the next whitespace.
static void skip_plain_token(scan_source* s)
{
    size_t avail = scan_ahead(s, scan_lookahead);
    const unsigned char* p = s->data + s->at;
    const unsigned char* stop = p + std::min(avail, size_t(255));
    const unsigned char* q = p;
    while (q < stop && !(byte_classes[*q] & space_byte))
        q++;
    s->at += size_t(q - p);
}

// The next token that may mean something, quoted strings passed over whole
// (they may hold braces); false at the end of input. A token that starts
// with neither '*' nor a brace is a word the reader does not know, which
// only ends what a keyword before it announced: such tokens (the numbers
// and corner labels of the mesh lines, most of a file) are passed over
// here without being classified.
static bool next_token(reader* r, std::string_view* token)
{
    while (skip_space_noting_lines(r)) {
        unsigned char first = r->s.data[r->s.at];
        if (first == '"') {
            read_quoted(&r->s, nullptr);
        } else if (first != '*' && first != '{' && first != '}') {
            skip_plain_token(&r->s);
            if (r->skipped_depth == 0)
                r->next = {};
        } else {
            return scan_255s(&r->s, token);
        }
    }
    return false;
}

// A *BITMAP value on the keyword's line: quoted, or in sloppy files the
// token, unless that is a keyword or brace of its own.
static bool read_bitmap_name(scan_source* s, std::string* name)
{
    if (!skip_blanks(s))
        return false;
    unsigned char first = s->data[s->at];
    if (first == '"')
        return read_quoted(s, name);
    if (first == '*' || first == '{' || first == '}')
        return false;
    return read_text(s, ends_token, name);
}

static model_vec3 read_vec3(scan_source* s)
{
    float v[3] = {};
    scan_f_run(s, v, 3);
    return {v[0], v[1], v[2]};
}

template <class T> static void reserve_declared(reader* r, std::vector<T>* list, int declared)
{
    if (list->size() != reserve_after || declared <= int(reserve_after))
        return;
    size_t room = std::min(size_t(declared), (max_reserved_bytes - r->reserved_bytes) / sizeof(T));
    if (room > list->capacity()) {
        r->reserved_bytes += (room - list->capacity()) * sizeof(T);
        reserve_in_huge_pages(list, room);
    }
}

// A record numbered i is appended when i is the count so far and replaces
// one below it; a negative number or a gap stores nothing.
template <class T>
static bool store_numbered(reader* r, std::vector<T>* list, int declared, int i, const T& record)
{
    if (i < 0 || size_t(i) > list->size())
        return false;
    if (size_t(i) == list->size()) {
        reserve_declared(r, list, declared);
        list->push_back(record);
    } else {
        (*list)[size_t(i)] = record;
    }
    return true;
}

// Values that do not convert read as 0; the number must.
static void read_position(reader* r, std::vector<model_vec3>* list, int declared)
{
    int i;
    if (scan_i(&r->s, &i))
        store_numbered(r, list, declared, i, read_vec3(&r->s));
}

// A corner: its letter, a colon or not, and the vertex number.
static bool read_corner(scan_source* s, char letter, int* vertex)
{
    if (!scan_space(s) || s->data[s->at] != letter)
        return false;
    s->at++;
    scan_literal(s, ':');
    return scan_i(s, vertex);
}

// A face missing a corner is not stored.
static void read_face(reader* r, model_object* object)
{
    r->line_face = -1;
    int i;
    model_face face = {{}, {-1, -1, -1}, 0, 0, {}};
    if (!scan_i(&r->s, &i))
        return;
    scan_literal(&r->s, ':');
    for (int k = 0; k < 3; k++) {
        if (!read_corner(&r->s, "ABC"[k], &face.vert[k]))
            return;
    }
    if (store_numbered(r, &object->faces, r->declared[2], i, face)) {
        r->line_face = i;
        r->normal_face = -1;
    }
}

static void read_tface(scan_source* s, model_object* object)
{
    int i, t[3];
    if (scan_i(s, &i) && scan_i(s, &t[0]) && scan_i(s, &t[1]) && scan_i(s, &t[2]) && i >= 0 &&
        size_t(i) < object->faces.size())
        memcpy(object->faces[size_t(i)].tvert, t, sizeof t);
}

// Only for a face already stored, like a *MESH_TFACE.
static void read_color_face(scan_source* s, model_object* object)
{
    int i;
    model_color_face colors;
    if (!scan_i(s, &i) || !scan_i(s, &colors.cvert[0]) || !scan_i(s, &colors.cvert[1]) ||
        !scan_i(s, &colors.cvert[2]) || i < 0 || size_t(i) >= object->faces.size())
        return;
    if (size_t(i) >= object->color_faces.size())
        object->color_faces.resize(size_t(i) + 1, {{-1, -1, -1}});
    object->color_faces[size_t(i)] = colors;
}

static void read_mtlid(reader* r, model_object* object)
{
    int id;
    if (scan_i(&r->s, &id) && r->line_face >= 0)
        object->faces[size_t(r->line_face)].mtlid = id;
}

static void read_face_normal(reader* r, model_object* object)
{
    int i;
    r->normal_face = -1;
    if (!scan_i(&r->s, &i) || i < 0 || size_t(i) >= object->faces.size())
        return;
    r->normal_face = i;
    r->normal_corners = 0;
    object->faces[size_t(i)].normals = 0;
}

// Fills the first unfilled corner of the face whose vertex the line names,
// else the first unfilled corner.
static void read_vertex_normal(reader* r, model_object* object)
{
    int v;
    bool numbered = scan_i(&r->s, &v);
    model_vec3 normal = read_vec3(&r->s);
    if (r->normal_face < 0 || r->normal_corners == 7)
        return;
    model_face& face = object->faces[size_t(r->normal_face)];
    int corner = -1;
    for (int k = 0; k < 3 && corner < 0; k++) {
        if (!(r->normal_corners & (1u << k)) && numbered && face.vert[k] == v)
            corner = k;
    }
    for (int k = 0; k < 3 && corner < 0; k++) {
        if (!(r->normal_corners & (1u << k)))
            corner = k;
    }
    face.normal[corner] = normal;
    r->normal_corners |= 1u << corner;
    face.normals = r->normal_corners == 7;
}

static void read_mesh_word(reader* r, word w, model_object* object)
{
    switch (w) {
    case word::vertex:
        return read_position(r, &object->positions, r->declared[0]);
    case word::tvert:
        return read_position(r, &object->tverts, r->declared[1]);
    case word::vertex_color:
        return read_position(r, &object->cverts, r->declared[3]);
    case word::num_vertex:
    case word::num_tvertex:
    case word::num_faces:
    case word::num_cvertex:
        scan_i(&r->s, &r->declared[int(w) - int(word::num_vertex)]);
        return;
    case word::face:
        return read_face(r, object);
    case word::tface:
        return read_tface(&r->s, object);
    case word::color_face:
        return read_color_face(&r->s, object);
    case word::mtlid:
        return read_mtlid(r, object);
    case word::face_normal:
        return read_face_normal(r, object);
    case word::vertex_normal:
        return read_vertex_normal(r, object);
    default:
        return;
    }
}

static void expect_block(reader* r, block kind)
{
    r->next.kind = kind;
    r->next.set = true;
}

static void expect_numbered_block(reader* r, block kind)
{
    if (scan_i(&r->s, &r->next.number))
        expect_block(r, kind);
}

static void read_map_word(reader* r, word w, open_block* map)
{
    if (w == word::bitmap) {
        std::string name;
        if (read_bitmap_name(&r->s, &name) && usable_bitmap(name) && !usable_bitmap(map->bitmap)) {
            map->bitmap = std::move(name);
            map->order = r->bitmaps_read++;
        }
    } else if (w >= word::u_offset && w <= word::v_tiling) {
        scan_f(&r->s, &map->uvw[int(w) - int(word::u_offset)]);
    }
}

// A name on the keyword's line, as a bitmap's is read; unchanged when the
// line gives none.
static void read_name(scan_source* s, std::string* name)
{
    std::string text;
    if (read_bitmap_name(s, &text))
        *name = std::move(text);
}

static void read_material_word(reader* r, word w, model_material* material)
{
    float rgb[3];
    if (w == word::material_name) {
        read_name(&r->s, &material->name);
    } else if (w == word::submaterial) {
        expect_numbered_block(r, block::material);
    } else if (w == word::material_diffuse && scan_f_run(&r->s, rgb, 3) == 3) {
        std::copy(rgb, rgb + 3, material->diffuse);
        material->has_diffuse = 1;
    }
}

// What a word does where it stands; anything else it is passed over.
static void read_word(reader* r, word w)
{
    open_block& here = r->stack.back();
    if ((here.kind == block::material || here.kind == block::map) &&
        (w == word::map_diffuse || w == word::other_map)) {
        expect_block(r, block::map);
        r->next.diffuse_map = w == word::map_diffuse;
        return;
    }
    switch (here.kind) {
    case block::top:
        if (w == word::geomobject || w == word::group || w == word::material_list)
            expect_block(r, w == word::geomobject ? block::object
                            : w == word::group    ? block::top
                                                  : block::material_list);
        return;
    case block::material_list:
        if (w == word::material)
            expect_numbered_block(r, block::material);
        return;
    case block::material:
        return read_material_word(r, w, here.material);
    case block::map:
        return read_map_word(r, w, &here);
    case block::object:
        if (w == word::mesh && !here.mesh_read)
            expect_block(r, block::mesh);
        else if (w == word::material_ref)
            scan_i(&r->s, &here.object->material_ref);
        else if (w == word::node_name)
            read_name(&r->s, &here.object->name);
        return;
    case block::mesh:
        return read_mesh_word(r, w, here.object);
    }
}

// The material numbered i of a list, made anew; null when the number is
// negative or too far past the list's end, or the file has made too many.
static model_material* new_material(reader* r, std::vector<model_material>* list, int i)
{
    if (i < 0 || size_t(i) > list->size() + max_material_gap)
        return nullptr;
    if (size_t(i) >= list->size()) {
        size_t added = size_t(i) + 1 - list->size();
        if (r->materials_made + added > max_materials)
            return nullptr;
        r->materials_made += added;
        list->resize(size_t(i) + 1, default_material);
    }
    (*list)[size_t(i)] = default_material;
    return &(*list)[size_t(i)];
}

// The block that "{" opens, given where it stands and what came before it;
// false when it is to be passed over. Without a keyword before it, it opens
// one of the lists of a mesh, read as the mesh itself.
static bool block_to_open(reader* r, const pending_block& next, open_block* opened)
{
    open_block& here = r->stack.back();
    opened->kind = next.set ? next.kind : block::mesh;
    opened->object = here.object;
    if (!next.set)
        return here.kind == block::mesh;
    switch (opened->kind) {
    case block::top:
    case block::material_list:
        return true;
    case block::object:
        model_objects.push_back({{}, {}, {}, 0, {}, {}, {}});
        opened->object = &model_objects.back();
        return true;
    case block::mesh:
        here.mesh_read = true;
        r->line_face = r->normal_face = -1;
        std::fill(std::begin(r->declared), std::end(r->declared), 0);
        return true;
    case block::material:
        opened->material = new_material(
            r, here.kind == block::material ? &here.material->submaterials : &model_materials,
            next.number);
        return opened->material != nullptr;
    case block::map:
        opened->owner = here.kind == block::map ? here.owner : r->stack.size() - 1;
        opened->diffuse_map = next.diffuse_map;
        return true;
    }
    return false;
}

static void open_block_here(reader* r)
{
    pending_block next = std::exchange(r->next, {});
    open_block opened;
    if (r->skipped_depth > 0 || r->stack.size() >= max_open_blocks ||
        !block_to_open(r, next, &opened))
        r->skipped_depth++;
    else
        r->stack.push_back(std::move(opened));
}

// A map's bitmap goes to its material if it is the diffuse map's, or the
// first given in the material's maps while no diffuse map has given one.
static void close_map(reader* r, const open_block& map)
{
    open_block& owner = r->stack[map.owner];
    if (!usable_bitmap(map.bitmap) || owner.bitmap_from_diffuse ||
        (!map.diffuse_map && map.order > owner.bitmap_order))
        return;
    model_material* material = owner.material;
    material->bitmap = map.bitmap;
    material->u_offset = map.uvw[0];
    material->v_offset = map.uvw[1];
    material->u_tiling = map.uvw[2];
    material->v_tiling = map.uvw[3];
    owner.bitmap_from_diffuse = map.diffuse_map;
    owner.bitmap_order = map.order;
}

// An extra closing brace closes nothing.
static void close_block(reader* r)
{
    r->next = {};
    if (r->skipped_depth > 0) {
        r->skipped_depth--;
        return;
    }
    if (r->stack.size() == 1)
        return;
    if (r->stack.back().kind == block::map)
        close_map(r, r->stack.back());
    r->stack.pop_back();
}

// Back to the innermost top level, a group's or the file's, as if the
// blocks opened since had been closed: exporters and hand edits leave
// blocks open that the editors read past.
static void close_unclosed_blocks(reader* r)
{
    r->skipped_depth = 0;
    while (r->stack.back().kind != block::top)
        close_block(r);
}

void parse_model(FILE* stream)
{
    static unsigned char buffer[scan_block_size + 1];
    reset_model_store();
    // Closed however the reading ends: running out of memory throws.
    std::unique_ptr<FILE, int (*)(FILE*)> utf8(utf16_as_utf8(stream), fclose);
    reader r;
    r.s = scan_from(utf8 ? utf8.get() : stream, buffer);
    r.stack.reserve(max_open_blocks);
    r.stack.emplace_back();
    std::string_view token;
    while (next_token(&r, &token)) {
        word w = classify(token);
        if (w == word::open) {
            open_block_here(&r);
        } else if (w == word::close) {
            close_block(&r);
        } else {
            if (starts_top_level_block(w))
                close_unclosed_blocks(&r);
            if (r.skipped_depth == 0) {
                r.next = {};
                read_word(&r, w);
            }
        }
    }
    // Blocks the file leaves open end with it.
    r.skipped_depth = 0;
    while (r.stack.size() > 1)
        close_block(&r);
}

const model_material* face_material(const model_object& object, const model_face& face)
{
    if (object.material_ref < 0 || size_t(object.material_ref) >= model_materials.size())
        return nullptr;
    const model_material& material = model_materials[size_t(object.material_ref)];
    if (material.submaterials.empty())
        return &material;
    long long count = (long long)material.submaterials.size();
    return &material.submaterials[size_t((face.mtlid % count + count) % count)];
}

bool model_face_drawable(const model_object& object, const model_face& face)
{
    return std::all_of(face.vert, face.vert + 3,
                       [&](int v) { return v >= 0 && size_t(v) < object.positions.size(); });
}

// The face's colour numbers; null when the file gives it none.
static const model_color_face* color_face_of(const model_object& object, const model_face& face)
{
    // std::less orders any two pointers, a face of another object too.
    const model_face* faces = object.faces.data();
    std::less<const model_face*> before;
    if (before(&face, faces) || !before(&face, faces + object.faces.size()))
        return nullptr;
    size_t i = size_t(&face - faces);
    return i < object.color_faces.size() ? &object.color_faces[i] : nullptr;
}

bool vertex_colors_given(const model_object& object, const model_face& face)
{
    const model_color_face* colors = color_face_of(object, face);
    return colors && std::all_of(colors->cvert, colors->cvert + 3, [&](int c) {
               return c >= 0 && size_t(c) < object.cverts.size();
           });
}

static float channel(float value)
{
    // fmax and fmin pass over a NaN: not a number gives 0.
    return std::fmin(std::fmax(value, 0.0f), 1.0f);
}

model_vec3 vertex_color(const model_object& object, const model_face& face, int k)
{
    if (k < 0 || k > 2 || !vertex_colors_given(object, face))
        return {1.0f, 1.0f, 1.0f};
    const model_vec3& c = object.cverts[size_t(color_face_of(object, face)->cvert[k])];
    return {channel(c.x), channel(c.y), channel(c.z)};
}

void reset_model_store()
{
    std::vector<model_object>().swap(model_objects);
    std::vector<model_material>().swap(model_materials);
}
