// A stage's state at one moment: its colour and its texture transform,
// evaluated from the material's expressions and waves. Free of GL, for the
// model view and the exporter alike.
#pragma once
#include "gamefs/stages.h"

// A texture transform as rows acting on (s, t, 1), t down the picture.
struct stage_matrix {
    float rows[2][3] = {{1, 0, 0}, {0, 1, 0}};
};

// The transforms of a stage: all of them when no turb is among them, else
// those before the first turb, the turb (amplitude, phase now) and those
// after it.
struct stage_transform {
    stage_matrix before, after;
    bool turb = false;
    float turb_amplitude = 0, turb_now = 0;
};

stage_transform evaluate_transform(const material_stage& stage, material_rules rules,
                                   const expression_context& context);

// Where a stage's colour comes from at a pixel.
enum class stage_shade { constant, vertex, one_minus_vertex, lit_per_vertex };

struct stage_color {
    float rgba[4] = {1, 1, 1, 1};  // clamped to [0, 1]
    stage_shade shade = stage_shade::constant;
    bool vertex_alpha = false;
};

stage_color evaluate_color(const material_stage& stage, material_rules rules, const expression_context& context);
// Whether the stage is drawn at all at this moment: its condition holds and,
// for id Tech 4, an additive stage adds something and a blended one covers.
bool stage_drawn(const material_stage& stage, material_rules rules, const expression_context& context);
// The animMap frame shown at that time: floor(time * rate) modulo the
// count, 0 before time 0.
int animation_frame(const material_stage& stage, float time);
