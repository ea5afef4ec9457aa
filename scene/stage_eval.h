// A stage's colour at one moment, evaluated from the material's
// expressions and waves, and whether it is drawn then. Free of GL, for the
// model view and the exporter alike.
#pragma once
#include "gamefs/stages.h"

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
