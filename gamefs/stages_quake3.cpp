// Quake III-family shaders (scripts/*.shader) read into stages as the
// renderer parses them, with Daemon's per-pixel keywords: what each stage
// draws and how it blends, colours, moves and sorts.
#include <algorithm>
#include <string>

#include "gamefs/script_tokens.h"
#include "gamefs/stage_reading.h"
#include "gamefs/stages.h"

namespace {

constexpr size_t frame_limit = 8, tcmod_limit = 4, deform_limit = 3;

// An unknown name is GL_ONE, as the game takes it.
static blend_factor factor_named(std::string_view name, bool source)
{
    blend_factor factor = blend_factor::one;
    gl_blend_factor(name, source, &factor);
    return factor;
}

// A stage as written, before its defaults: Daemon's maps are gathered to be
// made into stages of their own at its end.
struct WrittenStage {
    material_stage stage = default_stage();
    bool blend_written = false, depth_write_written = false, rgb_written = false,
         alpha_written = false;
    std::string diffuse, normal, specular, glow;
    int8_t normal_axes[3] = {1, 1, 1};
    stage_kind legacy_kind = stage_kind::unlit;  // `blend diffuseMap`, `stage diffuseMap`
    bool legacy_glow = false;
};

class ShaderParser {
public:
    ShaderParser(std::string_view block, int first_line, game_material* material)
        : reader_{block}, first_line_(first_line), material_(material)
    {
    }
    void read();

private:
    std::string_view argument() { return script_argument(&reader_); }
    float number() { return script_number(argument()); }
    void skip_line()
    {
        while (!argument().empty()) {
        }
    }
    int line();
    material_wave wave();
    void vector(float out[3]);
    void blend_function(WrittenStage* written);
    bool daemon_map(std::string_view word, WrittenStage* written);
    void normal_format(int8_t axes[3]);
    void color_generator(std::string_view word, WrittenStage* written);
    void tcmod(material_stage* stage);
    void stage_keyword(std::string_view word, WrittenStage* written);
    void stage();
    void add_stages(WrittenStage& written, size_t at);
    void deform();
    void shader_keyword(std::string_view word);
    void finish();

    script_reader reader_;
    int first_line_;
    size_t counted_ = 0;
    int lines_ = 0;
    game_material* material_;
    size_t stages_read_ = 0;
    bool sort_written_ = false, sky_ = false;
    WrittenStage shader_maps_;  // Daemon's maps written outside any stage
    size_t shader_maps_at_ = 0;
    bool has_shader_maps_ = false;
};

int ShaderParser::line()
{
    std::string_view text = reader_.text;
    size_t at = std::min(reader_.at, text.size());
    if (at < counted_)
        counted_ = 0, lines_ = 0;
    lines_ += int(std::count(text.begin() + long(counted_), text.begin() + long(at), '\n'));
    counted_ = at;
    return first_line_ + lines_;
}

material_wave ShaderParser::wave()
{
    static const std::pair<std::string_view, wave_function> functions[] = {
        {"sin", wave_function::sin},
        {"square", wave_function::square},
        {"triangle", wave_function::triangle},
        {"sawtooth", wave_function::sawtooth},
        {"inversesawtooth", wave_function::inverse_sawtooth},
        {"noise", wave_function::noise},
    };
    material_wave read;
    std::string_view name = argument();
    for (auto [word, function] : functions)
        if (same_name(name, word))
            read.function = function;
    read.base = number();
    read.amplitude = number();
    read.phase = number();
    read.frequency = number();
    return read;
}

// "( a b c )": parentheses may touch the numbers or stand apart.
void ShaderParser::vector(float out[3])
{
    for (int i = 0; i < 3;) {
        std::string_view word = argument();
        if (word.empty())
            return;
        while (word.starts_with('('))
            word.remove_prefix(1);
        while (word.ends_with(')'))
            word.remove_suffix(1);
        if (!word.empty())
            out[i++] = script_number(word);
    }
    std::string_view close = argument();
    if (!close.empty() && close != ")")
        reader_.at = size_t(close.data() - reader_.text.data());
}

void ShaderParser::blend_function(WrittenStage* written)
{
    material_stage& stage = written->stage;
    std::string_view name = argument();
    if (same_name(name, "add")) {
        stage.src = stage.dst = blend_factor::one;
    } else if (same_name(name, "filter")) {
        stage.src = blend_factor::dst_color, stage.dst = blend_factor::zero;
    } else if (same_name(name, "blend")) {
        stage.src = blend_factor::src_alpha, stage.dst = blend_factor::one_minus_src_alpha;
    } else {
        stage.src = factor_named(name, true);
        stage.dst = factor_named(argument(), false);
    }
    written->blend_written = true;
    stage.blended = !(stage.src == blend_factor::one && stage.dst == blend_factor::zero);
}

// Daemon's per-pixel maps, within a stage or outside any.
bool ShaderParser::daemon_map(std::string_view word, WrittenStage* written)
{
    std::string* slot = same_name(word, "diffuseMap") ? &written->diffuse
                        : same_name(word, "normalMap") || same_name(word, "bumpMap") ||
                                same_name(word, "normalHeightMap")
                            ? &written->normal
                        : same_name(word, "specularMap") ? &written->specular
                        : same_name(word, "glowMap")     ? &written->glow
                                                         : nullptr;
    if (slot == nullptr)
        return false;
    *slot = std::string(argument());
    return true;
}

// `normalFormat [-]X [-]Y [-]Z` says the map's axes as OpenGL has them, Y up
// the picture; the games' own Y runs down it. A word it does not know
// leaves its axis as it was.
void ShaderParser::normal_format(int8_t axes[3])
{
    for (int i = 0; i < 3; i++) {
        std::string_view word = argument();
        bool turned = !word.empty() && word.front() == '-';
        if (turned)
            word.remove_prefix(1);
        if (word.size() == 1 && (word[0] | 0x20) == "xyz"[i])
            axes[i] = int8_t((turned != (i == 1)) ? -1 : 1);
    }
}

void ShaderParser::color_generator(std::string_view word, WrittenStage* written)
{
    material_stage& stage = written->stage;
    bool rgb = same_name(word, "rgbGen");
    std::string_view kind = argument();
    color_source source = color_source::identity;
    static const std::pair<std::string_view, color_source> sources[] = {
        {"identity", color_source::identity},
        {"identityLighting", color_source::identity_lighting},
        {"vertex", color_source::vertex},
        {"exactVertex", color_source::exact_vertex},
        {"oneMinusVertex", color_source::one_minus_vertex},
        {"entity", color_source::entity},
        {"oneMinusEntity", color_source::one_minus_entity},
        {"lightingDiffuse", color_source::lighting_diffuse},
    };
    for (auto [name, named] : sources)
        if (same_name(kind, name))
            source = named;
    if (same_name(kind, "wave")) {
        source = color_source::wave;
        (rgb ? stage.rgb_wave : stage.alpha_wave) = wave();
    } else if (same_name(kind, "const") && rgb) {
        source = color_source::constant;
        float values[3] = {0, 0, 0};
        vector(values);
        for (int i = 0; i < 3; i++)
            stage.color[i] = constant_expression(values[i]);
    } else if (same_name(kind, "const")) {
        source = color_source::constant;
        stage.color[3] = constant_expression(number());
    }
    // alphaGen portal and lightingSpecular need a view the stage does not
    // have: they are drawn as identity.
    skip_line();
    if (rgb) {
        stage.rgb = source, written->rgb_written = true;
        if (source == color_source::vertex && !written->alpha_written)
            stage.alpha = color_source::vertex;
    } else {
        stage.alpha = source, written->alpha_written = true;
    }
}

void ShaderParser::tcmod(material_stage* stage)
{
    std::string_view kind = argument();
    texture_transform read;
    read.kind = transform_kind::q3_scroll;
    int numbers = 0;
    if (same_name(kind, "scroll")) {
        numbers = 2;
    } else if (same_name(kind, "scale")) {
        read.kind = transform_kind::q3_scale, numbers = 2;
    } else if (same_name(kind, "rotate")) {
        read.kind = transform_kind::q3_rotate, numbers = 1;
    } else if (same_name(kind, "transform")) {
        read.kind = transform_kind::q3_transform, numbers = 6;
    } else if (same_name(kind, "stretch")) {
        read.kind = transform_kind::q3_stretch;
        read.wave = wave();
    } else if (same_name(kind, "turb")) {
        read.kind = transform_kind::q3_turb;
        read.wave.base = number();
        read.wave.amplitude = number();
        read.wave.phase = number();
        read.wave.frequency = number();
    } else {
        return skip_line();
    }
    for (int i = 0; i < numbers; i++)
        read.numbers[i] = number();
    skip_line();
    if (stage->transforms.size() < tcmod_limit)
        stage->transforms.push_back(read);
}

void ShaderParser::stage_keyword(std::string_view word, WrittenStage* written)
{
    material_stage& stage = written->stage;
    if (same_name(word, "map") || same_name(word, "clampMap") || same_name(word, "videoMap")) {
        stage.image.name = std::string(argument());
        stage.clamp |= same_name(word, "clampMap");
        if (same_name(stage.image.name, "$lightmap"))
            stage.generation = texture_generation::lightmap;
    } else if (same_name(word, "animMap")) {
        stage.frame_rate = number();
        stage.frames.clear();
        for (std::string_view frame = argument(); !frame.empty(); frame = argument())
            if (stage.frames.size() < frame_limit)
                stage.frames.push_back(
                    stage_image{std::string(frame), image_program::none, {}, {}});
        if (!stage.frames.empty())
            stage.image = stage.frames.front();
    } else if (same_name(word, "blendFunc")) {
        blend_function(written);
    } else if (same_name(word, "blend") || same_name(word, "stage")) {
        // Daemon's legacy forms: `blend diffuseMap` as id Tech 4 writes it,
        // or a blend function's name.
        std::string_view kind = argument();
        static const std::pair<std::string_view, stage_kind> kinds[] = {
            {"diffuseMap", stage_kind::diffuse},
            {"normalMap", stage_kind::bump},
            {"bumpMap", stage_kind::bump},
            {"specularMap", stage_kind::specular},
        };
        for (auto [name, named] : kinds)
            if (same_name(kind, name))
                written->legacy_kind = named;
        written->legacy_glow |= same_name(kind, "glowMap");
        if (written->legacy_kind == stage_kind::unlit && !written->legacy_glow &&
            same_name(word, "blend")) {
            if (!kind.empty())
                reader_.at = size_t(kind.data() - reader_.text.data());
            blend_function(written);
        }
    } else if (same_name(word, "depthWrite")) {
        written->depth_write_written = true;
    } else if (same_name(word, "depthFunc")) {
        stage.depth_equal = same_name(argument(), "equal");
    } else if (same_name(word, "alphaFunc")) {
        std::string_view function = argument();
        stage.alpha_test = same_name(function, "GT0")     ? alpha_function::gt0
                           : same_name(function, "LT128") ? alpha_function::lt128
                           : same_name(function, "GE128") ? alpha_function::ge128
                                                          : alpha_function::none;
    } else if (same_name(word, "rgbGen") || same_name(word, "alphaGen")) {
        color_generator(word, written);
    } else if (same_name(word, "tcGen") || same_name(word, "texGen")) {
        std::string_view kind = argument();
        if (same_name(kind, "environment"))
            stage.generation = texture_generation::environment;
        else if (same_name(kind, "lightmap"))
            stage.generation = texture_generation::lightmap;
        else if (same_name(kind, "vector")) {
            stage.generation = texture_generation::vector;
            vector(stage.generation_vectors[0]);
            vector(stage.generation_vectors[1]);
        } else
            stage.generation = texture_generation::base;
        skip_line();
    } else if (same_name(word, "tcMod")) {
        tcmod(&stage);
    } else if (same_name(word, "normalFormat")) {
        normal_format(written->normal_axes);
    } else if (!daemon_map(word, written)) {
        skip_line();
    }
}

void ShaderParser::stage()
{
    WrittenStage written;
    written.stage.line = line();
    size_t depth = 1;
    for (script_token token = script_next(&reader_); token.kind != script_token_kind::end;
         token = script_next(&reader_)) {
        if (token.kind == script_token_kind::open)
            depth++;
        else if (token.kind == script_token_kind::close && --depth == 0)
            break;
        else if (token.kind == script_token_kind::word && depth == 1)
            stage_keyword(token.text, &written);
    }
    add_stages(written, material_->stages.size());
}

// The written stage's stages at `at`: one classic stage, or Daemon's lit
// group (bump, diffuse, specular; no normal map is a flat one) and its glow.
void ShaderParser::add_stages(WrittenStage& written, size_t at)
{
    material_stage& base = written.stage;
    if (written.legacy_kind == stage_kind::diffuse && written.diffuse.empty())
        written.diffuse = base.image.name;
    if (written.legacy_kind == stage_kind::bump && written.normal.empty())
        written.normal = base.image.name;
    if (written.legacy_kind == stage_kind::specular && written.specular.empty())
        written.specular = base.image.name;
    if (written.legacy_glow && written.glow.empty())
        written.glow = base.image.name;
    std::vector<material_stage> made;
    bool lit = !written.diffuse.empty() || !written.normal.empty() || !written.specular.empty();
    if (lit || !written.glow.empty()) {
        base.daemon = true;
        base.src = blend_factor::one, base.dst = blend_factor::zero, base.blended = false;
        base.rgb = base.alpha = color_source::identity;
        auto add = [&](stage_kind kind, const std::string& image) {
            material_stage stage = base;
            stage.kind = kind;
            stage.image = stage_image{image, image_program::none, {}, {}};
            stage.frames.clear();
            made.push_back(stage);
        };
        if (lit) {
            add(stage_kind::bump, written.normal.empty() ? "_flat" : written.normal);
            std::copy(written.normal_axes, written.normal_axes + 3, made.back().normal_axes);
        }
        if (!written.diffuse.empty())
            add(stage_kind::diffuse, written.diffuse);
        if (!written.specular.empty())
            add(stage_kind::specular, written.specular);
        if (!written.glow.empty()) {
            add(stage_kind::unlit, written.glow);
            made.back().src = made.back().dst = blend_factor::one;
            made.back().blended = true;
            made.back().depth_write = false;
        }
    } else {
        // Depth is written unless a blend is; `GL_ONE GL_ZERO` is no blend.
        base.depth_write = !base.blended || written.depth_write_written;
        if (!written.rgb_written)
            base.rgb = !written.blend_written || base.src == blend_factor::one ||
                               base.src == blend_factor::src_alpha
                           ? color_source::identity_lighting
                           : color_source::identity;
        if (!written.alpha_written && base.alpha == color_source::expression)
            base.alpha = color_source::identity;
        made.push_back(std::move(base));
    }
    std::vector<material_stage>& stages = material_->stages;
    for (material_stage& stage : made)
        if (stages_read_++ < stage_limit)
            stages.insert(stages.begin() + long(std::min(at++, stages.size())), std::move(stage));
}

void ShaderParser::deform()
{
    std::string_view kind = argument();
    material_deform read;
    if (same_name(kind, "autosprite2")) {
        read.kind = deform_kind::autosprite2;
    } else if (same_name(kind, "wave")) {
        read.kind = deform_kind::wave;
        read.spread = number();
        read.wave = wave();
    } else if (same_name(kind, "move")) {
        read.kind = deform_kind::move;
        for (float& v : read.vector)
            v = number();
        read.wave = wave();
    } else if (same_name(kind, "bulge")) {
        read.kind = deform_kind::bulge;
        for (float& v : read.vector)
            v = number();
    } else if (!same_name(kind, "autosprite")) {
        if (material_->undrawn_deform.empty())
            material_->undrawn_deform = std::string(kind);
        return skip_line();
    }
    skip_line();
    if (material_->deforms.size() < deform_limit)
        material_->deforms.push_back(read);
}

struct NamedSort {
    std::string_view name;
    float sort;
};

const NamedSort quake3_sorts[] = {
    {"portal", 1}, {"sky", 2},        {"opaque", 3},    {"decal", 4},    {"seeThrough", 5},
    {"banner", 6}, {"underwater", 8}, {"additive", 10}, {"nearest", 16},
};

void ShaderParser::shader_keyword(std::string_view word)
{
    game_material& m = *material_;
    if (same_name(word, "cull")) {
        std::string_view side = argument();
        if (same_name(side, "none") || same_name(side, "twosided") || same_name(side, "disable"))
            m.cull = material_cull::none;
        else if (same_name(side, "back") || same_name(side, "backside") ||
                 same_name(side, "backsided"))
            m.cull = material_cull::back;
    } else if (same_name(word, "sort")) {
        std::string_view name = argument();
        sort_written_ = true;
        m.sort = script_number(name);
        for (const NamedSort& named : quake3_sorts)
            if (same_name(name, named.name))
                m.sort = named.sort;
    } else if (same_name(word, "polygonOffset")) {
        m.polygon_offset = 1;
    } else if (same_name(word, "deformVertexes")) {
        deform();
        return;
    } else if (same_name(word, "surfaceparm")) {
        m.nodraw |= same_name(argument(), "nodraw");
    } else if (same_name(word, "skyParms")) {
        sky_ = true;
    } else if (same_name(word, "normalFormat")) {
        // Outside a stage, for the shader's own maps.
        normal_format(shader_maps_.normal_axes);
    } else if (std::string_view keyword = word; daemon_map(keyword, &shader_maps_)) {
        if (!has_shader_maps_)
            shader_maps_at_ = m.stages.size();
        has_shader_maps_ = true;
    }
    skip_line();
}

void ShaderParser::finish()
{
    game_material& m = *material_;
    if (has_shader_maps_)
        add_stages(shader_maps_, shader_maps_at_);
    const material_stage* first = m.stages.empty() ? nullptr : &m.stages.front();
    bool first_blends = first != nullptr && first->blended;
    if (!sort_written_)
        m.sort = sky_                    ? 2
                 : m.polygon_offset != 0 ? 4
                 : first_blends          ? (first->depth_write ? 5 : 9)
                                         : 3;
    m.coverage = first != nullptr && first->alpha_test != alpha_function::none
                     ? material_coverage::perforated
                 : first_blends ? material_coverage::translucent
                                : material_coverage::opaque;
    // A shader without stages is rejected by the game: nothing is drawn.
    m.nodraw |= m.stages.empty();
    auto timed_stage = [](const material_stage& s) {
        return s.rgb == color_source::wave || s.alpha == color_source::wave ||
               (s.frames.size() > 1 && s.frame_rate != 0) ||
               std::any_of(s.transforms.begin(), s.transforms.end(),
                           [](const texture_transform& t) {
                               return t.kind == transform_kind::q3_scroll ||
                                      t.kind == transform_kind::q3_rotate ||
                                      t.kind == transform_kind::q3_turb ||
                                      t.kind == transform_kind::q3_stretch;
                           });
    };
    m.animated = std::any_of(m.stages.begin(), m.stages.end(), timed_stage) ||
                 std::any_of(m.deforms.begin(), m.deforms.end(), [](const material_deform& d) {
                     return d.kind == deform_kind::wave || d.kind == deform_kind::move ||
                            d.kind == deform_kind::bulge;
                 });
}

void ShaderParser::read()
{
    script_token token = script_next(&reader_);
    if (token.kind == script_token_kind::open)
        for (token = script_next(&reader_);
             token.kind != script_token_kind::end && token.kind != script_token_kind::close;
             token = script_next(&reader_)) {
            if (token.kind == script_token_kind::open)
                stage();
            else if (token.kind == script_token_kind::word)
                shader_keyword(token.text);
        }
    finish();
}

}  // namespace

game_material read_quake3_shader(std::string_view name, std::string_view block, int first_line)
{
    game_material material;
    material.name = std::string(name);
    material.rules = material_rules::quake3;
    ShaderParser parser(block, first_line, &material);
    parser.read();
    return material;
}
