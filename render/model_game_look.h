// The model view's game look: each batch's material drawn stage by stage
// with GLSL, as its game draws it. The model view owns the buffers and the
// batches; this owns the materials, their maps' GL textures and the passes.
#pragma once
#include <GL/gl.h>

#include <string>
#include <vector>

#include "scene/deform.h"

struct model_scene;

// A batch as the game look draws it: its corners' indices and its material.
struct game_batch {
    GLint first;
    GLsizei count;
    int material;  // in the materials taken from the scene
    // When the material deforms its vertices: the batch's corners, three to
    // a face, and where each frame's deformed ones go.
    const std::vector<deform_corner>* corners = nullptr;
    std::vector<deform_corner>* deformed = nullptr;
};

// Takes the scene's materials and its maps' pictures (after the textures
// were taken) for the next model.
void take_scene_materials(model_scene& scene);
// Whether the material can be drawn in the game's look: read, not
// defaulted, with a stage that draws.
bool game_material_drawable(int material);
// Whether the material moves its vertices (deformVertexes).
bool game_material_deforms(int material);
// Whether some drawable material needs tangents (a lit stage) or vertex
// colours.
bool game_material_lit(int material);
bool game_material_uses_vertex_colors(int material);
void upload_game_maps();
void reset_game_maps();
// Draws the batches with the vertex, normal, texture-coordinate, colour and
// tangent arrays bound, the depth test on and the camera's matrices loaded;
// leaves the GL state as it found it. Time in seconds on the materials'
// clock.
void draw_game_batches(const std::vector<game_batch>& batches, double time);
// The rules the materials follow ("rules: id Tech 4 (dhewm3)") and a line
// for each material on its stages ("NAME: diffuse bump specular +glow").
void describe_game_materials(std::string* rules, std::vector<std::string>* lines);
// The loose files the maps came from.
std::vector<std::string> game_map_files();
// Whether what was drawn changes with time.
bool game_look_animated(const std::vector<game_batch>& batches);
