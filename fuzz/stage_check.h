// Checks every fuzzer of the material readers shares: a material read from
// any bytes is bounded, and every value it yields at any time is finite.
#pragma once
#include <cmath>
#include <cstdlib>

#include "gamefs/stages.h"

inline void check_value(float value)
{
    if (!std::isfinite(value))
        abort();
}

inline void check_expression(const material_expression& e, const expression_context& context)
{
    if (e.steps.size() > (size_t(1) << 16))
        abort();
    check_value(evaluate(e, context));
}

inline void check_material(const game_material& m)
{
    if (m.stages.size() > 258 || m.deforms.size() > 3 || (m.defaulted && m.defaulted_why.empty()))
        abort();
    for (float time : {0.0f, 0.37f, 1e7f, -3.0f}) {
        expression_context context;
        context.time = time;
        context.tables = &m.tables;
        for (const material_deform& d : m.deforms)
            check_value(wave_value(d.wave, time));
        for (const material_stage& s : m.stages) {
            for (const material_expression& c : s.color)
                check_expression(c, context);
            check_expression(s.condition, context);
            check_expression(s.alpha_threshold, context);
            check_value(wave_value(s.rgb_wave, time));
            check_value(wave_value(s.alpha_wave, time));
            if (s.frames.size() > 8 ||
                (!s.frames.empty() && animation_frame(s, time) >= s.frames.size()))
                abort();
            float st[2] = {0.5f, 0.25f}, position[3] = {1, 2, 3}, matrix[6];
            stage_texture_coordinates(s, context, position, st);
            stage_texture_matrix(s, context, matrix);
            check_value(st[0]);
            check_value(st[1]);
            for (float v : matrix)
                check_value(v);
        }
    }
    stage_summary(m);
}
