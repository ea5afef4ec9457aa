// What a game material says, in the terms glTF 2.0 has for it: which of its
// stages' maps plays which part, how its surface is covered and culled,
// whether the game lights it, and what glTF cannot say. Free of the glTF
// library: the exporter writes it, the tests read it.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "scene/scene.h"

// How a map's picture is changed before it is embedded.
enum class map_conversion : uint8_t {
    none,
    alpha_inverted,  // A' = 255 - A, for a test that keeps what is below a cutoff
    alpha_from_rgb,  // A = max(R, G, B): an additive stage drawn as blended
    roughness,       // The Dark Mod's specular exponent from B, as roughness in G (metallic B 0)
    // A normal map's channels turned (c' = 255 - c) to glTF's axes, X right,
    // Y up the picture, Z out; the low bits say which: red 1, green 2, blue 4.
    channels_turned = 8,
};
// What turns a bump map of these axes (against the games' own, whose Y runs
// down the picture) to glTF's: green alone for the games' maps.
map_conversion normal_conversion(const int8_t axes[3]);

// A map as one of the material's parts uses it.
struct meaning_map {
    int map = -1;  // index in the scene's maps; -1: none
    map_conversion conversion = map_conversion::none;
    // The stage's texture transform at time 0: s' = m[0]s + m[1]t + m[2],
    // t' = m[3]s + m[4]t + m[5], t down the picture.
    float matrix[6] = {1, 0, 0, 0, 1, 0};
    bool used() const { return map >= 0; }
};

enum class meaning_alpha : uint8_t { opaque, mask, blend };
enum class meaning_vertex_colors : uint8_t { none, as_given, inverted };

struct material_meaning {
    bool game = false;  // false: the look's texture and colour alone, as --plain writes them
    // Nothing declares the material: the picture's own alpha decides what
    // is cut, as it always has for a model outside a game.
    bool implicit = false;
    meaning_map base, normal, specular, roughness_map, emissive;
    bool base_from_look = false;  // the surface's map was not found: the look's texture stands in
    float base_color[4] = {1, 1, 1, 1};
    float emissive_color[3] = {0, 0, 0};
    float emissive_strength = 1;  // over 1: KHR_materials_emissive_strength
    bool specular_written = false;  // KHR_materials_specular
    float specular_factor = 1;
    float specular_color[3] = {1, 1, 1};
    float roughness = 1;
    meaning_alpha alpha = meaning_alpha::opaque;
    float alpha_cutoff = 0.5f;
    bool double_sided = false;
    bool reversed = false;  // back faces drawn only: winding and normals turned
    meaning_vertex_colors vertex_colors = meaning_vertex_colors::none;
    bool unlit = false;     // KHR_materials_unlit
    std::string dropped;    // "dropped: WHAT of MATERIAL (FILE:LINE)\n" for each part glTF cannot hold
    std::array<const meaning_map*, 5> maps() const { return {&base, &normal, &specular, &roughness_map, &emissive}; }
};

// The look's meaning: its game material's when the game draws one for it
// and the face has texture coordinates, else the look's texture and colour.
material_meaning look_meaning(const model_scene& scene, const scene_look& look);
// The meaning of the texture's material on a face with texture coordinates.
material_meaning texture_meaning(const model_scene& scene, int texture);
// Whether a part of the texture's material changes the texture's own
// picture (a normal map made of it, its alpha turned...): the picture is
// then kept past its first use.
bool picture_changed(const model_scene& scene, int texture);
// Whether every map used has one transform, so that it can be baked into
// the texture coordinates.
bool one_transform(const material_meaning& meaning);
