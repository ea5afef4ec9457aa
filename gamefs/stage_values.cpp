// What a material's stages read at a moment: expressions, tables, waves,
// animMap frames and texture transforms; the engines' implicit materials and
// a few words about a material's stages.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <span>
#include <numbers>

#include "gamefs/stage_reading.h"
#include "gamefs/stages.h"

static float finite_or_zero(float value)
{
    return std::isfinite(value) ? value : 0.0f;
}

bool material_expression::uses_time() const
{
    return std::any_of(steps.begin(), steps.end(),
                       [](const expression_step& step) { return step.op == expression_op::time; });
}

// Truncates toward zero as the engines' casts do, within int's range.
static int truncated(float value)
{
    if (!std::isfinite(value))
        return 0;
    return int(std::clamp(value, -2147483520.0f, 2147483520.0f));
}

static float table_value(const expression_context& context, int index, float at)
{
    if (context.tables == nullptr || index < 0 || size_t(index) >= context.tables->size())
        return 0.0f;
    return table_lookup((*context.tables)[size_t(index)], at);
}

static float binary(expression_op op, float a, float b)
{
    switch (op) {
    case expression_op::add:
        return a + b;
    case expression_op::subtract:
        return a - b;
    case expression_op::multiply:
        return a * b;
    case expression_op::divide:
        return b == 0.0f ? 0.0f : a / b;
    case expression_op::modulo: {
        int divisor = truncated(b);
        return float(truncated(a) % (divisor == 0 || divisor == -1 ? 1 : divisor));
    }
    case expression_op::greater:
        return a > b;
    case expression_op::greater_equal:
        return a >= b;
    case expression_op::less:
        return a < b;
    case expression_op::less_equal:
        return a <= b;
    case expression_op::equal:
        return a == b;
    case expression_op::not_equal:
        return a != b;
    case expression_op::logical_and:
        return a != 0.0f && b != 0.0f;
    case expression_op::logical_or:
        return a != 0.0f || b != 0.0f;
    default:
        return 0.0f;
    }
}

// One value a step pushes from nothing; the operators pop theirs.
static float term(const expression_step& step, const expression_context& context)
{
    switch (step.op) {
    case expression_op::number:
        return step.value;
    case expression_op::time:
        return context.time;
    case expression_op::parm:
        return step.index >= 0 && step.index < 12 ? context.parms[step.index] : 0.0f;
    default:
        return 0.0f;  // globals are 0 in a viewer
    }
}

float evaluate(const material_expression& expression, const expression_context& context)
{
    if (expression.steps.empty())
        return finite_or_zero(expression.fallback);
    std::vector<float> stack;
    stack.reserve(expression.steps.size());
    for (const expression_step& step : expression.steps) {
        if (step.op <= expression_op::global) {
            stack.push_back(term(step, context));
        } else if (step.op == expression_op::table) {
            if (stack.empty())
                return 0.0f;
            stack.back() = table_value(context, step.index, stack.back());
        } else {
            if (stack.size() < 2)
                return 0.0f;
            float b = stack.back();
            stack.pop_back();
            stack.back() = finite_or_zero(binary(step.op, stack.back(), b));
        }
    }
    return stack.size() == 1 ? finite_or_zero(stack.back()) : 0.0f;
}

float table_lookup(const material_table& table, float index)
{
    const std::vector<float>& v = table.values;
    if (v.empty() || !std::isfinite(index))
        return 0.0f;
    double n = double(v.size());
    double x = double(index) * n;
    x = table.clamp ? std::clamp(x, 0.0, n - 1) : x - n * std::floor(x / n);
    size_t i = std::min(size_t(x), v.size() - 1);
    if (table.snap)
        return v[i];
    double fraction = x - double(i);
    size_t next = table.clamp ? std::min(i + 1, v.size() - 1) : (i + 1) % v.size();
    return finite_or_zero(float(v[i] * (1 - fraction) + v[next] * fraction));
}

std::vector<material_table> base_tables()
{
    constexpr int n = 256;
    std::vector<material_table> tables;
    for (const char* name : {"sinTable", "cosTable", "squareTable", "triangleTable",
                             "sawtoothTable", "inverseSawtoothTable"})
        tables.push_back({name, false, false, {}});
    tables[2].snap = true;
    for (int i = 0; i < n; i++) {
        double x = double(i) / n, turn = 2 * std::numbers::pi * x;
        float triangle = float(x < 0.25 ? 4 * x : x < 0.75 ? 2 - 4 * x : 4 * x - 4);
        float values[] = {float(std::sin(turn)),
                          float(std::cos(turn)),
                          i < n / 2 ? 1.0f : -1.0f,
                          triangle,
                          float(x),
                          float(1 - x)};
        for (size_t t = 0; t < tables.size(); t++)
            tables[t].values.push_back(values[t]);
    }
    return tables;
}

// The renderer's 1024-entry function tables.
constexpr int wave_size = 1024;

struct WaveTables {
    float sin[wave_size], square[wave_size], triangle[wave_size], sawtooth[wave_size],
        inverse_sawtooth[wave_size];
    WaveTables()
    {
        for (int i = 0; i < wave_size; i++) {
            // 1023, not 1024: the game's sine table is not exactly periodic.
            sin[i] = float(std::sin(2 * std::numbers::pi * i / (wave_size - 1)));
            square[i] = i < wave_size / 2 ? 1.0f : -1.0f;
            sawtooth[i] = float(i) / wave_size;
            inverse_sawtooth[i] = 1.0f - sawtooth[i];
            if (i < wave_size / 4)
                triangle[i] = float(i) / (wave_size / 4);
            else if (i < wave_size / 2)
                triangle[i] = 1.0f - triangle[i - wave_size / 4];
            else
                triangle[i] = -triangle[i - wave_size / 2];
        }
    }
};

static const WaveTables& wave_tables()
{
    static const WaveTables tables;
    return tables;
}

// floor(x) & 1023 for any x, as the two's complement mask gives it.
static int wave_index(double x)
{
    if (!std::isfinite(x))
        return 0;
    double wrapped = std::floor(x) - wave_size * std::floor(std::floor(x) / wave_size);
    return std::clamp(int(wrapped), 0, wave_size - 1);
}

// A fixed lattice of values in [-1, 1], linear between whole steps.
static float lattice(long long at)
{
    unsigned long long h = static_cast<unsigned long long>(at) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    return float(h % 2001) / 1000.0f - 1.0f;
}

static float noise(double x)
{
    if (!std::isfinite(x) || std::fabs(x) > 1e15)
        return 0.0f;
    double whole = std::floor(x);
    float fraction = float(x - whole);
    long long at = static_cast<long long>(whole);
    return lattice(at) * (1 - fraction) + lattice(at + 1) * fraction;
}

float wave_value(const material_wave& wave, float time)
{
    double now = double(wave.phase) + double(time) * double(wave.frequency);
    if (wave.function == wave_function::noise)
        return finite_or_zero(wave.base + wave.amplitude * noise(now));
    const WaveTables& tables = wave_tables();
    const float* table = wave.function == wave_function::square     ? tables.square
                         : wave.function == wave_function::triangle ? tables.triangle
                         : wave.function == wave_function::sawtooth ? tables.sawtooth
                         : wave.function == wave_function::inverse_sawtooth
                             ? tables.inverse_sawtooth
                             : tables.sin;
    return finite_or_zero(wave.base + wave.amplitude * table[wave_index(now * wave_size)]);
}

size_t animation_frame(const material_stage& stage, float time)
{
    if (stage.frames.empty())
        return 0;
    // In 1/1024 steps as the game counts; before the start, the first frame.
    double steps = std::floor(double(time) * double(stage.frame_rate) * wave_size);
    if (!std::isfinite(steps) || steps < 0)
        return 0;
    return size_t(std::fmod(std::floor(steps / wave_size), double(stage.frames.size())));
}

// 2x3 affine maps: s' = m[0]s + m[1]t + m[2], t' = m[3]s + m[4]t + m[5].
using Affine = std::array<float, 6>;
constexpr Affine identity_map = {1, 0, 0, 0, 1, 0};

// a after b: b acts first.
static Affine compose(const Affine& a, const Affine& b)
{
    return {a[0] * b[0] + a[1] * b[3], a[0] * b[1] + a[1] * b[4], a[0] * b[2] + a[1] * b[5] + a[2],
            a[3] * b[0] + a[4] * b[3], a[3] * b[1] + a[4] * b[4], a[3] * b[2] + a[4] * b[5] + a[5]};
}

static float table_named(const expression_context& context, std::string_view name, float at)
{
    if (context.tables != nullptr)
        for (const material_table& table : *context.tables)
            if (same_name(table.name, name))
                return table_lookup(table, at);
    return 0.0f;
}

// Rotation about (0.5, 0.5) by cosine c and sine n.
static Affine centred_rotation(float c, float n)
{
    return {c, -n, 0.5f - 0.5f * c + 0.5f * n, n, c, 0.5f - 0.5f * n - 0.5f * c};
}

static Affine id_tech4_map(const texture_transform& transform, const expression_context& context)
{
    float a = evaluate(transform.a, context), b = evaluate(transform.b, context);
    switch (transform.kind) {
    case transform_kind::scroll:
        return {1, 0, a, 0, 1, b};
    case transform_kind::scale:
        return {a, 0, 0, 0, b, 0};
    case transform_kind::center_scale:
        return {a, 0, 0.5f - 0.5f * a, 0, b, 0.5f - 0.5f * b};
    case transform_kind::shear:
        return {1, a, -0.5f * a, b, 1, -0.5f * b};
    case transform_kind::rotate:
        return centred_rotation(table_named(context, "cosTable", a),
                                table_named(context, "sinTable", a));
    default:
        return identity_map;
    }
}

static float fraction(double x)
{
    return std::isfinite(x) ? float(x - std::floor(x)) : 0.0f;
}

static Affine quake3_map(const texture_transform& transform, float time)
{
    const float* n = transform.numbers;
    switch (transform.kind) {
    case transform_kind::q3_scroll:
        return {1, 0, fraction(double(n[0]) * time), 0, 1, fraction(double(n[1]) * time)};
    case transform_kind::q3_scale:
        return {n[0], 0, 0, 0, n[1], 0};
    case transform_kind::q3_rotate: {
        double degrees = -double(n[0]) * time;
        int at = wave_index(degrees * wave_size / 360);
        const float* sine = wave_tables().sin;
        return centred_rotation(sine[(at + wave_size / 4) % wave_size], sine[at]);
    }
    case transform_kind::q3_stretch: {
        float wave = wave_value(transform.wave, time);
        float p = wave == 0.0f ? 1.0f : finite_or_zero(1.0f / wave);
        return {p, 0, 0.5f - 0.5f * p, 0, p, 0.5f - 0.5f * p};
    }
    case transform_kind::q3_transform:
        return {n[0], n[2], n[4], n[1], n[3], n[5]};
    default:
        return identity_map;
    }
}

static bool quake3_family(const material_stage& stage)
{
    return !stage.transforms.empty() && stage.transforms.front().kind >= transform_kind::q3_scroll;
}

// Whole turns of offset beyond [-40, 40] are dropped, as id Tech 4 does.
static void keep_translation_near(Affine* m)
{
    for (float* offset : {&(*m)[2], &(*m)[5]})
        if (*offset < -40 || *offset > 40)
            *offset -= std::trunc(*offset);
}

bool stage_texture_matrix(const material_stage& stage, const expression_context& context,
                          float m[6])
{
    Affine total = identity_map;
    bool exact = true;
    if (quake3_family(stage)) {
        // Each tcMod acts on what the ones before it made.
        for (const texture_transform& transform : stage.transforms) {
            exact &= transform.kind != transform_kind::q3_turb;
            total = compose(quake3_map(transform, context.time), total);
        }
    } else {
        // Each keyword multiplies on the right: the last acts first.
        for (const texture_transform& transform : stage.transforms)
            total = compose(total, id_tech4_map(transform, context));
        keep_translation_near(&total);
    }
    std::copy(total.begin(), total.end(), m);
    return exact;
}

static void apply(const Affine& m, float st[2])
{
    float s = st[0], t = st[1];
    st[0] = finite_or_zero(m[0] * s + m[1] * t + m[2]);
    st[1] = finite_or_zero(m[3] * s + m[4] * t + m[5]);
}

static void turb(const texture_transform& transform, float time, const float position[3],
                 float st[2])
{
    const material_wave& wave = transform.wave;
    double now = double(wave.phase) + double(time) * double(wave.frequency);
    const float* sine = wave_tables().sin;
    st[0] += wave.amplitude *
             sine[wave_index(((position[0] + position[2]) / wave_size + now) * wave_size)];
    st[1] += wave.amplitude * sine[wave_index((position[1] / wave_size + now) * wave_size)];
    st[0] = finite_or_zero(st[0]);
    st[1] = finite_or_zero(st[1]);
}

void stage_texture_coordinates(const material_stage& stage, const expression_context& context,
                               const float position[3], float st[2])
{
    if (!quake3_family(stage)) {
        float m[6];
        stage_texture_matrix(stage, context, m);
        apply({m[0], m[1], m[2], m[3], m[4], m[5]}, st);
        return;
    }
    for (const texture_transform& transform : stage.transforms)
        if (transform.kind == transform_kind::q3_turb)
            turb(transform, context.time, position, st);
        else
            apply(quake3_map(transform, context.time), st);
}

static material_stage stage_of(stage_kind kind, std::string_view image)
{
    material_stage stage = default_stage();
    stage.kind = kind;
    stage.image.name = std::string(image);
    return stage;
}

game_material implicit_material(std::string_view image, material_rules rules)
{
    game_material material;
    material.name = std::string(image);
    material.rules = rules;
    if (rules == material_rules::quake3) {
        material_stage stage = stage_of(stage_kind::unlit, image);
        stage.rgb = color_source::lighting_diffuse;
        stage.alpha = color_source::identity;
        material.stages.push_back(stage);
        material.sort = 3;
        return material;
    }
    material_stage bump = stage_of(stage_kind::bump, "_flat"),
                   diffuse = stage_of(stage_kind::diffuse, image);
    bump.depth_write = diffuse.depth_write = false;
    bump.depth_equal = diffuse.depth_equal = true;
    material.stages = {bump, diffuse};
    return material;
}

// A word for an unlit stage by how it blends.
static const char* unlit_word(const material_stage& stage)
{
    if (stage.src == blend_factor::zero && stage.dst == blend_factor::one)
        return nullptr;
    if (stage.src == blend_factor::one && stage.dst == blend_factor::one)
        return "+glow";
    if (stage.dst == blend_factor::zero && stage.src == blend_factor::dst_color)
        return "+filter";
    if (stage.blended)
        return "+blend";
    return stage.image.name == "$lightmap" ? "+lightmap" : "+unlit";
}

std::string stage_summary(const game_material& material)
{
    if (material.defaulted)
        return "defaulted";
    std::vector<std::string> words;
    auto add = [&words](std::string word) {
        if (std::find(words.begin(), words.end(), word) == words.end())
            words.push_back(word);
    };
    for (stage_kind kind : {stage_kind::diffuse, stage_kind::bump, stage_kind::specular})
        for (const material_stage& stage : material.stages)
            if (stage.kind == kind)
                add(kind == stage_kind::diffuse ? "diffuse"
                    : kind == stage_kind::bump  ? "bump"
                                                : "specular");
    for (const material_stage& stage : material.stages)
        if (const char* word = stage.kind == stage_kind::unlit ? unlit_word(stage) : nullptr)
            add(words.empty() ? word + 1 : word);
    if (material.nodraw || words.empty())
        return "nothing drawn";
    std::string summary;
    for (const std::string& word : words)
        summary += (summary.empty() ? "" : " ") + word;
    return summary;
}

material_expression constant_expression(float value)
{
    material_expression expression;
    expression.fallback = value;
    return expression;
}

material_stage default_stage()
{
    material_stage stage;
    for (material_expression& channel : stage.color)
        channel = constant_expression(1);
    stage.condition = constant_expression(1);
    return stage;
}

float script_number(std::string_view word, bool* ok)
{
    float value = 0;
    size_t skip = word.starts_with('+') ? 1 : 0;
    auto [end, error] = std::from_chars(word.data() + skip, word.data() + word.size(), value);
    bool read = error == std::errc() && end != word.data() + skip;
    if (ok != nullptr)
        *ok = read && end == word.data() + word.size();
    return read && std::isfinite(value) ? value : 0.0f;
}

bool same_name(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x - 'A' + 'a' : x) ==
                      (y >= 'A' && y <= 'Z' ? y - 'A' + 'a' : y);
           });
}

namespace {

struct Factor {
    std::string_view name;
    blend_factor factor;
};

const Factor source_factors[] = {
    {"gl_one", blend_factor::one},
    {"gl_zero", blend_factor::zero},
    {"gl_dst_color", blend_factor::dst_color},
    {"gl_one_minus_dst_color", blend_factor::one_minus_dst_color},
    {"gl_src_alpha", blend_factor::src_alpha},
    {"gl_one_minus_src_alpha", blend_factor::one_minus_src_alpha},
    {"gl_dst_alpha", blend_factor::dst_alpha},
    {"gl_one_minus_dst_alpha", blend_factor::one_minus_dst_alpha},
    {"gl_src_alpha_saturate", blend_factor::src_alpha_saturate},
};
const Factor destination_factors[] = {
    {"gl_one", blend_factor::one},
    {"gl_zero", blend_factor::zero},
    {"gl_src_alpha", blend_factor::src_alpha},
    {"gl_one_minus_src_alpha", blend_factor::one_minus_src_alpha},
    {"gl_dst_alpha", blend_factor::dst_alpha},
    {"gl_one_minus_dst_alpha", blend_factor::one_minus_dst_alpha},
    {"gl_src_color", blend_factor::src_color},
    {"gl_one_minus_src_color", blend_factor::one_minus_src_color},
};

}  // namespace

bool gl_blend_factor(std::string_view name, bool source, blend_factor* factor)
{
    std::span<const Factor> factors = source ? std::span<const Factor>(source_factors)
                                             : std::span<const Factor>(destination_factors);
    for (const Factor& known : factors)
        if (same_name(known.name, name)) {
            *factor = known.factor;
            return true;
        }
    return false;
}
