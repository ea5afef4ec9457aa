#include "scene/stage_eval.h"

#include <cmath>

static float clamp01(float x)
{
    return x > 0.0f ? (x < 1.0f ? x : 1.0f) : 0.0f;  // NaN becomes 0
}

// Quake III's colours are bytes.
static float byte_value(float x)
{
    return std::floor(255.0f * clamp01(x)) / 255.0f;
}

static float quake3_channel(color_source source, const material_expression& constant, const material_wave& wave,
                            const expression_context& context, stage_color* color)
{
    switch (source) {
    case color_source::constant:
    case color_source::expression: return byte_value(evaluate(constant, context));
    case color_source::wave: return byte_value(wave_value(wave, context.time));
    case color_source::one_minus_entity: return 0.0f;
    case color_source::vertex:
    case color_source::exact_vertex: color->shade = stage_shade::vertex; return 1.0f;
    case color_source::one_minus_vertex: color->shade = stage_shade::one_minus_vertex; return 1.0f;
    case color_source::lighting_diffuse: color->shade = stage_shade::lit_per_vertex; return 1.0f;
    default: return 1.0f;
    }
}

stage_color evaluate_color(const material_stage& stage, material_rules rules, const expression_context& context)
{
    stage_color color;
    if (rules != material_rules::quake3) {
        for (int i = 0; i < 4; i++)
            color.rgba[i] = clamp01(evaluate(stage.color[i], context));
        if (stage.vertex_color || stage.inverse_vertex_color)
            color.shade = stage.vertex_color ? stage_shade::vertex : stage_shade::one_minus_vertex;
        return color;
    }
    for (int i = 0; i < 3; i++)
        color.rgba[i] = quake3_channel(stage.rgb, stage.color[i], stage.rgb_wave, context, &color);
    stage_color alpha;
    color.rgba[3] = quake3_channel(stage.alpha, stage.color[3], stage.alpha_wave, context, &alpha);
    color.vertex_alpha = alpha.shade == stage_shade::vertex;
    return color;
}

bool stage_drawn(const material_stage& stage, material_rules rules, const expression_context& context)
{
    if (stage.src == blend_factor::zero && stage.dst == blend_factor::one)
        return false;
    if (!stage.condition.steps.empty() && evaluate(stage.condition, context) == 0.0f)
        return false;
    if (rules == material_rules::quake3 || stage.kind != stage_kind::unlit)
        return true;
    stage_color color = evaluate_color(stage, rules, context);
    if (stage.src == blend_factor::one && stage.dst == blend_factor::one)
        return color.rgba[0] > 0 || color.rgba[1] > 0 || color.rgba[2] > 0;
    if (stage.src == blend_factor::src_alpha && stage.dst == blend_factor::one_minus_src_alpha)
        return color.rgba[3] > 0;
    return true;
}
