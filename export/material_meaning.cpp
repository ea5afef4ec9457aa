#include "export/material_meaning.h"

#include <algorithm>
#include <cstring>

#include "scene/stage_eval.h"

namespace {

// Everything is written as the material stands at time 0.
struct reader {
    const model_scene& scene;
    const scene_material& loaded;
    const game_material& m;
    expression_context context;
    material_meaning out;
};

void drop(reader& r, const std::string& what, int line)
{
    std::string where = r.loaded.source.empty() ? "" : " (" + r.loaded.source + ":" + std::to_string(line) + ")";
    r.out.dropped += "dropped: " + what + " of " + r.m.name + where + "\n";
}

// The scene's map of the stage, when found; null else.
const scene_map* found_map(const reader& r, size_t stage)
{
    int index = stage < r.loaded.stage_maps.size() ? r.loaded.stage_maps[stage] : -1;
    return index >= 0 && r.scene.maps[size_t(index)].found ? &r.scene.maps[size_t(index)] : nullptr;
}

// The stage's map as a part uses it: none for a built-in, which stands for
// what glTF assumes anyway, or for a map not found (its line is the view's).
meaning_map map_of(const reader& r, size_t stage, map_conversion conversion)
{
    meaning_map use;
    const scene_map* map = found_map(r, stage);
    if (map == nullptr || map->where.starts_with("built-in "))
        return use;
    use.map = int(map - r.scene.maps.data());
    use.conversion = conversion;
    // A turb varies per vertex: its time-0 offset is left out.
    stage_texture_matrix(r.m.stages[stage], r.context, use.matrix);
    return use;
}

bool blend_is(const material_stage& s, blend_factor src, blend_factor dst)
{
    return s.src == src && s.dst == dst;
}

bool additive(const material_stage& s)
{
    return blend_is(s, blend_factor::one, blend_factor::one);
}

bool replaces(const material_stage& s)
{
    return !s.blended || blend_is(s, blend_factor::one, blend_factor::zero);
}

bool id_tech4_colors(const reader& r)
{
    return r.m.rules != material_rules::quake3;
}

bool multiplies(const material_stage& s)
{
    return blend_is(s, blend_factor::dst_color, blend_factor::zero) ||
           blend_is(s, blend_factor::zero, blend_factor::src_color);
}

// How a blending surface covers what is behind it, as near as glTF can.
void take_blend(reader& r, const material_stage& stage, map_conversion* conversion)
{
    if (blend_is(stage, blend_factor::src_alpha, blend_factor::one_minus_src_alpha)) {
        r.out.alpha = meaning_alpha::blend;
    } else if (additive(stage)) {
        // Nothing in glTF adds: the brighter a texel, the more it covers.
        r.out.alpha = meaning_alpha::blend;
        *conversion = map_conversion::alpha_from_rgb;
        drop(r, "the additive blend (written as a blend over what is behind)", stage.line);
    } else {
        drop(r, "the blend of its first stage (written opaque)", stage.line);
    }
}

// The base colour, its vertex colours and how its alpha covers. Over a
// lightmap (white on a model) a multiplying stage is the surface itself.
void take_base(reader& r, size_t i, bool over_white = false)
{
    const material_stage& stage = r.m.stages[i];
    stage_color color = evaluate_color(stage, r.m.rules, r.context);
    std::copy(color.rgba, color.rgba + 4, r.out.base_color);
    if (color.shade == stage_shade::vertex)
        r.out.vertex_colors = meaning_vertex_colors::as_given;
    else if (color.shade == stage_shade::one_minus_vertex)
        r.out.vertex_colors = meaning_vertex_colors::inverted;
    map_conversion conversion = map_conversion::none;
    switch (stage.alpha_test) {
    case alpha_function::greater_than_expression:
        // The game keeps alpha > N, glTF alpha >= cutoff.
        r.out.alpha = meaning_alpha::mask;
        r.out.alpha_cutoff = std::clamp(evaluate(stage.alpha_threshold, r.context), 0.0f, 1.0f) + 0.5f / 255;
        break;
    case alpha_function::ge128: r.out.alpha = meaning_alpha::mask; break;
    case alpha_function::gt0:
        r.out.alpha = meaning_alpha::mask;
        r.out.alpha_cutoff = 0.5f / 255;
        break;
    case alpha_function::lt128:
        r.out.alpha = meaning_alpha::mask;
        conversion = map_conversion::alpha_inverted;
        break;
    case alpha_function::none: break;
    }
    if (!replaces(stage) && !(over_white && multiplies(stage)))
        take_blend(r, stage, &conversion);
    r.out.base = map_of(r, i, conversion);
    int index = i < r.loaded.stage_maps.size() ? r.loaded.stage_maps[i] : -1;
    r.out.base_from_look = index >= 0 && !r.scene.maps[size_t(index)].found;
}

// An additive stage over an opaque surface: its glow, uniform for _white,
// none when its map was not found. Colours over 1 are kept as a strength.
bool take_glow(reader& r, size_t i)
{
    const material_stage& stage = r.m.stages[i];
    const scene_map* map = found_map(r, i);
    if (map == nullptr || map->where == "built-in _black")
        return false;
    r.out.emissive = map_of(r, i, map_conversion::none);
    stage_color clamped = evaluate_color(stage, r.m.rules, r.context);
    float rgb[3];
    for (int c = 0; c < 3; c++)
        rgb[c] = id_tech4_colors(r) ? std::max(0.0f, evaluate(stage.color[c], r.context)) : clamped.rgba[c];
    float strongest = std::max({rgb[0], rgb[1], rgb[2]});
    r.out.emissive_strength = std::max(1.0f, strongest);
    for (int c = 0; c < 3; c++)
        r.out.emissive_color[c] = rgb[c] / r.out.emissive_strength;
    return true;
}

// The Doom 3 highlight's exponent as GGX roughness: 0.65 for its table, 0.58
// for Daemon's exponent 16; The Dark Mod's varies per texel.
void take_specular(reader& r, size_t i)
{
    const material_stage& stage = r.m.stages[i];
    r.out.specular = map_of(r, i, map_conversion::none);
    r.out.specular_written = true;
    for (int c = 0; c < 3; c++)
        r.out.specular_color[c] = std::max(0.0f, evaluate(stage.color[c], r.context));
    if (stage.daemon) {
        r.out.roughness = 0.58f;
    } else if (r.m.rules == material_rules::dark_mod) {
        r.out.roughness_map = map_of(r, i, map_conversion::roughness);
        r.out.roughness = r.out.roughness_map.used() ? 1.0f : 0.64f;
    } else {
        r.out.roughness = 0.65f;
    }
}

bool drawn(const reader& r, const material_stage& stage)
{
    return stage_drawn(stage, r.m.rules, r.context);
}

// Lit stages in groups of bump, diffuse and specular (the first group is
// what glTF can hold), unlit ones after: the first is the surface when
// nothing is lit, an additive one over an opaque surface its glow.
void read_lit(reader& r)
{
    int bump = -1, diffuse = -1, specular = -1;
    std::vector<size_t> unlit;
    for (size_t i = 0; i < r.m.stages.size(); i++) {
        const material_stage& stage = r.m.stages[i];
        if (!drawn(r, stage))
            continue;
        int* slot = stage.kind == stage_kind::bump      ? &bump
                    : stage.kind == stage_kind::diffuse ? &diffuse
                    : stage.kind == stage_kind::specular ? &specular
                                                         : nullptr;
        if (slot == nullptr)
            unlit.push_back(i);
        else if (*slot < 0)
            *slot = int(i);
        else
            drop(r, stage.kind == stage_kind::bump ? "a second bump stage"
                    : stage.kind == stage_kind::diffuse ? "a second diffuse stage"
                                                        : "a second specular stage",
                 stage.line);
    }
    bool lit = bump >= 0 || diffuse >= 0 || specular >= 0;
    bool opaque = lit;
    if (diffuse >= 0)
        take_base(r, size_t(diffuse));
    if (bump >= 0)
        r.out.normal =
            map_of(r, size_t(bump), normal_conversion(r.m.stages[size_t(bump)].normal_axes));
    if (specular >= 0) {
        take_specular(r, size_t(specular));
    } else if (lit) {
        // No specular map: the game draws no highlight.
        r.out.specular_written = true;
        r.out.specular_factor = 0;
    }
    bool based = diffuse >= 0, glowed = false;
    for (size_t i : unlit) {
        const material_stage& stage = r.m.stages[i];
        if (!based && !lit) {
            take_base(r, i);
            r.out.unlit = true;
            based = true;
            opaque = replaces(stage);
        } else if (opaque && additive(stage) && !glowed) {
            glowed = take_glow(r, i);
        } else {
            drop(r, "an unlit stage", stage.line);
        }
    }
}

bool lightmap(const material_stage& stage)
{
    return stage.image.name == "$lightmap" || stage.generation == texture_generation::lightmap;
}

// A Quake III shader: its first stage that is no lightmap is the surface;
// the game lights it only with rgbGen lightingDiffuse (on models a
// lightmap is white). An additive stage over it is its glow.
void read_quake3(reader& r)
{
    int base = -1;
    bool glowed = false;
    for (size_t i = 0; i < r.m.stages.size(); i++) {
        const material_stage& stage = r.m.stages[i];
        if (!drawn(r, stage) || lightmap(stage))
            continue;
        if (base < 0) {
            base = int(i);
            take_base(r, i, i > 0);
        } else if (r.out.alpha != meaning_alpha::blend && additive(stage) && !glowed) {
            glowed = take_glow(r, i);
        } else {
            drop(r, "a stage", stage.line);
        }
    }
    if (base >= 0 && r.m.stages[size_t(base)].rgb == color_source::lighting_diffuse) {
        r.out.specular_written = true;
        r.out.specular_factor = 0;
    } else {
        r.out.unlit = true;
    }
}

bool daemon_lit(const game_material& m)
{
    return std::any_of(m.stages.begin(), m.stages.end(), [](const material_stage& s) { return s.daemon; });
}

}  // namespace

map_conversion normal_conversion(const int8_t axes[3])
{
    int turned = (axes[0] < 0 ? 1 : 0) | (axes[1] > 0 ? 2 : 0) | (axes[2] < 0 ? 4 : 0);
    return turned == 0 ? map_conversion::none
                       : map_conversion(int(map_conversion::channels_turned) | turned);
}

material_meaning look_meaning(const model_scene& scene, const scene_look& look)
{
    if (look.texture < 0 || look.drawn_material < 0)
        return {};
    const scene_material& loaded = scene.materials[size_t(look.drawn_material)];
    const game_material& m = loaded.material;
    if (m.defaulted || m.nodraw)
        return {};
    reader r{scene, loaded, m, {}, {}};
    r.context.tables = &m.tables;
    r.out.game = true;
    r.out.implicit = loaded.source.empty();
    if (m.rules == material_rules::quake3 && !daemon_lit(m))
        read_quake3(r);
    else
        read_lit(r);
    if (m.translucent || m.coverage == material_coverage::translucent)
        r.out.alpha = meaning_alpha::blend;
    r.out.double_sided = look.two_sided || m.cull == material_cull::none || m.create_back_sides;
    r.out.reversed = m.cull == material_cull::back && !r.out.double_sided;
    return r.out;
}

material_meaning texture_meaning(const model_scene& scene, int texture)
{
    scene_look look{nullptr, texture, texture, {1, 1, 1}, false, false, false,
                    scene.textures[size_t(texture)].material};
    return look_meaning(scene, look);
}

bool picture_changed(const model_scene& scene, int texture)
{
    material_meaning meaning = texture_meaning(scene, texture);
    for (const meaning_map* map : meaning.maps())
        if (map->used() && map->conversion != map_conversion::none && scene.maps[size_t(map->map)].texture == texture)
            return true;
    return false;
}

bool one_transform(const material_meaning& meaning)
{
    const float* first = nullptr;
    for (const meaning_map* map : meaning.maps()) {
        if (!map->used())
            continue;
        if (first == nullptr)
            first = map->matrix;
        else if (memcmp(first, map->matrix, sizeof map->matrix) != 0)
            return false;
    }
    return true;
}
