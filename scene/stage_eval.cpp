#include "scene/stage_eval.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// m = a * b, each acting on (s, t, 1).
static stage_matrix multiplied(const stage_matrix& a, const stage_matrix& b)
{
    stage_matrix m;
    for (int r = 0; r < 2; r++)
        for (int c = 0; c < 3; c++)
            m.rows[r][c] = a.rows[r][0] * b.rows[0][c] + a.rows[r][1] * b.rows[1][c] + (c == 2 ? a.rows[r][2] : 0.0f);
    return m;
}

static stage_matrix matrix(float m00, float m01, float m02, float m10, float m11, float m12)
{
    stage_matrix m;
    m.rows[0][0] = m00, m.rows[0][1] = m01, m.rows[0][2] = m02;
    m.rows[1][0] = m10, m.rows[1][1] = m11, m.rows[1][2] = m12;
    return m;
}

static const material_table* find_table(const expression_context& context, const char* name)
{
    static const std::vector<material_table> base = base_tables();
    auto search = [&](const std::vector<material_table>& tables) -> const material_table* {
        for (const material_table& table : tables)
            if (table.name.size() == strlen(name) &&
                std::equal(table.name.begin(), table.name.end(), name,
                           [](char a, char b) { return (a | 0x20) == (b | 0x20); }))
                return &table;
        return nullptr;
    };
    const material_table* found = context.tables ? search(*context.tables) : nullptr;
    return found ? found : search(base);
}

static float table_at(const expression_context& context, const char* name, float index)
{
    const material_table* table = find_table(context, name);
    return table ? table_lookup(*table, index) : 0.0f;
}

// One id Tech 4 keyword's matrix.
static stage_matrix id_tech4_matrix(const texture_transform& t, const expression_context& context)
{
    float a = evaluate(t.a, context), b = evaluate(t.b, context);
    switch (t.kind) {
    case transform_kind::scroll: return matrix(1, 0, a, 0, 1, b);
    case transform_kind::scale: return matrix(a, 0, 0, 0, b, 0);
    case transform_kind::center_scale: return matrix(a, 0, 0.5f - 0.5f * a, 0, b, 0.5f - 0.5f * b);
    case transform_kind::shear: return matrix(1, a, -0.5f * a, b, 1, -0.5f * b);
    case transform_kind::rotate: {
        float c = table_at(context, "costable", a), n = table_at(context, "sintable", a);
        return matrix(c, -n, 0.5f - 0.5f * c + 0.5f * n, n, c, 0.5f - 0.5f * n - 0.5f * c);
    }
    default: return {};
    }
}

static float fraction(float x)
{
    return x - std::floor(x);
}

// Quake III's sine table: 1024 entries over one period of 1023 steps.
static float q3_sin(int index)
{
    return float(std::sin(2.0 * M_PI * double(index & 1023) / 1023.0));
}

// One Quake III tcMod other than turb.
static stage_matrix quake3_matrix(const texture_transform& t, float time)
{
    const float* n = t.numbers;
    switch (t.kind) {
    case transform_kind::q3_scroll: return matrix(1, 0, fraction(n[0] * time), 0, 1, fraction(n[1] * time));
    case transform_kind::q3_scale: return matrix(n[0], 0, 0, 0, n[1], 0);
    case transform_kind::q3_rotate: {
        float degrees = -n[0] * time;
        int index = int(std::floor(degrees * (1024.0f / 360.0f)));
        float s = q3_sin(index), c = q3_sin(index + 256);
        return matrix(c, -s, 0.5f - 0.5f * c + 0.5f * s, s, c, 0.5f - 0.5f * s - 0.5f * c);
    }
    case transform_kind::q3_stretch: {
        float w = wave_value(t.wave, time);
        float p = w != 0.0f ? 1.0f / w : 1.0f;
        return matrix(p, 0, 0.5f - 0.5f * p, 0, p, 0.5f - 0.5f * p);
    }
    case transform_kind::q3_transform: return matrix(n[0], n[2], n[4], n[1], n[3], n[5]);
    default: return {};
    }
}

// Translations far from the origin lose their whole turns, as the engine's
// do, so that a long-running scroll keeps its precision.
static void wrap_translation(stage_matrix* m)
{
    for (auto& row : m->rows)
        if (row[2] < -40.0f || row[2] > 40.0f)
            row[2] -= std::trunc(row[2]);
}

stage_transform evaluate_transform(const material_stage& stage, material_rules rules,
                                   const expression_context& context)
{
    stage_transform result;
    if (rules != material_rules::quake3) {
        // Each keyword multiplies on the right: the last written acts first.
        for (const texture_transform& t : stage.transforms)
            result.after = multiplied(result.after, id_tech4_matrix(t, context));
        wrap_translation(&result.after);
        return result;
    }
    stage_matrix* current = &result.before;
    for (const texture_transform& t : stage.transforms) {
        if (t.kind == transform_kind::q3_turb && !result.turb) {
            result.turb = true;
            result.turb_amplitude = t.wave.amplitude;
            result.turb_now = t.wave.phase + context.time * t.wave.frequency;
            current = &result.after;
        } else if (t.kind != transform_kind::q3_turb) {
            *current = multiplied(quake3_matrix(t, context.time), *current);
        }
    }
    return result;
}

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

int animation_frame(const material_stage& stage, float time)
{
    size_t count = stage.frames.size();
    if (count == 0)
        return 0;
    // In 1/1024 steps, as the game counts.
    double steps = std::floor(double(time) * double(stage.frame_rate) * 1024.0);
    if (!(steps > 0.0) || !std::isfinite(steps))
        return 0;
    return int(std::fmod(std::floor(steps / 1024.0), double(count)));
}
