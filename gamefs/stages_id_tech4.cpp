// id Tech 4 materials (materials/*.mtr) read into stages as the engine
// parses them: its expressions, blends, image programs and keywords, the
// stages it adds and the order it sorts them in, and what makes it fall back
// on its default material.
#include <algorithm>
#include <cctype>
#include <string>

#include "gamefs/script_tokens.h"
#include "gamefs/stage_reading.h"
#include "gamefs/stages.h"

namespace {

// The deepest parentheses or image programs read: deeper ones default the
// material rather than the stack.
constexpr int nesting_limit = 32;
// The most expression steps of one material: bounds its memory whatever the
// text.
constexpr size_t step_limit = size_t(1) << 16;
// The most texture transforms of one stage.
constexpr size_t transform_limit = 64;

bool is_mark(const script_token& token, char c)
{
    return token.kind == script_token_kind::mark && token.text[0] == c;
}

bool name_char(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The block's tokens as the keywords take them, and the pieces expressions
// are made of: a word such as "sinTable[time*0.5]" holds several.
class MaterialTokens {
public:
    MaterialTokens(std::string_view block, int first_line)
        : reader_{block, 0, true}, first_line_(first_line)
    {
    }

    script_token next()
    {
        if (!rest_.empty()) {
            script_token token{script_token_kind::word, rest_, false};
            rest_ = {};
            return token;
        }
        return script_next(&reader_);
    }

    script_token peek() const
    {
        MaterialTokens ahead = *this;
        return ahead.next();
    }

    // The next piece of an expression, or an empty one at a brace or the end.
    std::string_view next_piece()
    {
        if (rest_.empty()) {
            script_reader ahead = reader_;
            script_token token = script_next(&ahead);
            if (token.kind == script_token_kind::mark) {
                reader_ = ahead;
                return token.text;
            }
            if (token.kind != script_token_kind::word || token.text.empty())
                return {};
            reader_ = ahead;
            rest_ = token.text;
        }
        size_t n = piece_length(rest_);
        std::string_view piece = rest_.substr(0, n);
        rest_.remove_prefix(n);
        return piece;
    }

    std::string_view peek_piece() const
    {
        MaterialTokens ahead = *this;
        return ahead.next_piece();
    }

    // Passes over what is left of the current line.
    void skip_line()
    {
        rest_ = {};
        for (;;) {
            script_reader ahead = reader_;
            script_token token = script_next(&ahead);
            if (token.new_line || token.kind == script_token_kind::end ||
                token.kind == script_token_kind::open || token.kind == script_token_kind::close)
                return;
            reader_ = ahead;
        }
    }

    // A word on the keyword's line, or none.
    std::string_view argument()
    {
        if (!rest_.empty()) {
            std::string_view word = rest_;
            rest_ = {};
            return word;
        }
        return script_argument(&reader_);
    }

    // The file's line of where the reader is.
    int line()
    {
        std::string_view text = reader_.text;
        size_t at =
            std::min(rest_.empty() ? reader_.at : size_t(rest_.data() - text.data()), text.size());
        if (at < counted_)
            counted_ = 0, lines_ = 0;
        lines_ += int(std::count(text.begin() + long(counted_), text.begin() + long(at), '\n'));
        counted_ = at;
        return first_line_ + lines_;
    }

private:
    static size_t piece_length(std::string_view word)
    {
        char c = word[0];
        auto end = [&](auto keeps) {
            size_t n = 1;
            while (n < word.size() && keeps(word[n]))
                n++;
            return n;
        };
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '.')
            return end(
                [](char d) { return std::isdigit(static_cast<unsigned char>(d)) || d == '.'; });
        if (name_char(c))
            return end(name_char);
        static const std::string_view pairs[] = {">=", "<=", "==", "!=", "&&", "||"};
        for (std::string_view pair : pairs)
            if (word.starts_with(pair))
                return 2;
        return 1;
    }

    script_reader reader_;
    std::string_view rest_;  // a word's pieces not yet taken
    int first_line_;
    size_t counted_ = 0;
    int lines_ = 0;
};

struct Operator {
    std::string_view text;
    expression_op op;
    int priority;
};

const Operator operators[] = {
    {"*", expression_op::multiply, 1},       {"/", expression_op::divide, 1},
    {"%", expression_op::modulo, 1},         {"+", expression_op::add, 2},
    {"-", expression_op::subtract, 2},       {">", expression_op::greater, 3},
    {">=", expression_op::greater_equal, 3}, {"<", expression_op::less, 3},
    {"<=", expression_op::less_equal, 3},    {"==", expression_op::equal, 3},
    {"!=", expression_op::not_equal, 3},     {"&&", expression_op::logical_and, 4},
    {"||", expression_op::logical_or, 4},
};
constexpr int top_priority = 4;

const Operator* operator_of(std::string_view piece, int priority)
{
    for (const Operator& candidate : operators)
        if (candidate.priority == priority && candidate.text == piece)
            return &candidate;
    return nullptr;
}

// A parm or global register: the name's number when it is within count.
bool register_number(std::string_view piece, std::string_view prefix, int count, int* number)
{
    if (piece.size() <= prefix.size() || !same_name(piece.substr(0, prefix.size()), prefix))
        return false;
    bool ok = false;
    float value = script_number(piece.substr(prefix.size()), &ok);
    if (!ok || value < 0 || value >= float(count) || value != float(int(value)) ||
        piece.find('.') != piece.npos)
        return false;
    *number = int(value);
    return true;
}

const std::vector<material_table>& base_data_tables()
{
    static const std::vector<material_table> tables = base_tables();
    return tables;
}

class MaterialParser {
public:
    MaterialParser(std::string_view block, int first_line, game_material* material,
                   const std::vector<material_table>& tables)
        : in_(block, first_line), material_(material), tables_(tables)
    {
    }

    void read();

private:
    bool failed() const { return material_->defaulted; }

    void fail(std::string why)
    {
        if (failed())
            return;
        material_->defaulted = true;
        material_->defaulted_line = in_.line();
        material_->defaulted_why = std::move(why);
    }

    void push(material_expression* out, expression_step step)
    {
        if (steps_ == step_limit)
            return fail("too many expression terms");
        steps_++;
        out->steps.push_back(step);
    }

    bool expect_piece(std::string_view piece)
    {
        if (in_.peek_piece() != piece) {
            fail("missing \"" + std::string(piece) + "\"");
            return false;
        }
        in_.next_piece();
        return true;
    }

    int table_index(std::string_view name)
    {
        std::vector<material_table>& used = material_->tables;
        for (size_t i = 0; i < used.size(); i++)
            if (same_name(used[i].name, name))
                return int(i);
        for (const std::vector<material_table>* list : {&tables_, &base_data_tables()})
            for (const material_table& table : *list)
                if (same_name(table.name, name)) {
                    used.push_back(table);
                    return int(used.size() - 1);
                }
        return -1;
    }

    bool term(material_expression* out, int depth);
    bool priority(int level, material_expression* out, int depth);
    material_expression expression();
    bool comma();
    stage_image image(int depth);
    void blend(material_stage* stage);
    void transform(material_stage* stage, transform_kind kind, bool two);
    void stage_keyword(std::string_view word, material_stage* stage);
    void stage();
    void keep(material_stage stage, size_t steps_before);
    void interaction_shortcut(stage_kind kind);
    void material_keyword(std::string_view word);
    void skip_block();

    MaterialTokens in_;
    game_material* material_;
    const std::vector<material_table>& tables_;
    size_t steps_ = 0;
    size_t stages_read_ = 0;

public:
    bool sort_written = false, force_opaque = false;
};

bool MaterialParser::term(material_expression* out, int depth)
{
    std::string_view piece = in_.next_piece();
    if (piece == "(") {
        if (depth >= nesting_limit) {
            fail("expression nested too deep");
            return false;
        }
        return priority(top_priority, out, depth + 1) && expect_piece(")");
    }
    bool negative = piece == "-";
    if (negative)
        piece = in_.next_piece();
    if (!piece.empty() && (std::isdigit(static_cast<unsigned char>(piece[0])) || piece[0] == '.')) {
        bool ok = false;
        float value = script_number(piece, &ok);
        if (!ok) {
            fail("bad number \"" + std::string(piece) + "\"");
            return false;
        }
        push(out, {expression_op::number, 0, negative ? -value : value});
        return !failed();
    }
    if (negative) {
        fail("\"-\" before \"" + std::string(piece) + "\", not a number");
        return false;
    }
    int number = 0;
    if (same_name(piece, "time"))
        push(out, {expression_op::time});
    else if (register_number(piece, "parm", 12, &number))
        push(out, {expression_op::parm, number});
    else if (register_number(piece, "global", 8, &number))
        push(out, {expression_op::global, number});
    else if (same_name(piece, "fragmentPrograms"))
        push(out, {expression_op::number, 0, 1});
    else if (same_name(piece, "sound"))
        push(out, {expression_op::number, 0, 0});
    else if (int table = name_char(piece.empty() ? ' ' : piece[0]) ? table_index(piece) : -1;
             table >= 0) {
        if (depth >= nesting_limit) {
            fail("expression nested too deep");
            return false;
        }
        if (!expect_piece("[") || !priority(top_priority, out, depth + 1) || !expect_piece("]"))
            return false;
        push(out, {expression_op::table, table});
    } else {
        fail(piece.empty() ? std::string("missing expression")
                           : "unknown term \"" + std::string(piece) + "\"");
        return false;
    }
    return !failed();
}

// Operators of one strength group to the right: a - b + c is a - (b + c).
// The chain is read in a loop, its operators written after its operands.
bool MaterialParser::priority(int level, material_expression* out, int depth)
{
    if (level == 0)
        return term(out, depth);
    if (!priority(level - 1, out, depth))
        return false;
    std::vector<expression_op> chain;
    while (const Operator* op = operator_of(in_.peek_piece(), level)) {
        in_.next_piece();
        chain.push_back(op->op);
        if (!priority(level - 1, out, depth))
            return false;
    }
    for (auto op = chain.rbegin(); op != chain.rend(); ++op)
        push(out, {*op});
    return !failed();
}

material_expression MaterialParser::expression()
{
    material_expression out;
    if (!priority(top_priority, &out, 0))
        out.steps.clear();
    // A lone number is kept as the constant it is.
    if (out.steps.size() == 1 && out.steps[0].op == expression_op::number) {
        out.fallback = out.steps[0].value;
        out.steps.clear();
    }
    return out;
}

bool MaterialParser::comma()
{
    return expect_piece(",");
}

struct Program {
    std::string_view name;
    image_program program;
    int images, numbers;
};

const Program programs[] = {
    {"heightmap", image_program::heightmap, 1, 1},
    {"addnormals", image_program::addnormals, 2, 0},
    {"smoothnormals", image_program::smoothnormals, 1, 0},
    {"makeIntensity", image_program::make_intensity, 1, 0},
    {"makeAlpha", image_program::make_alpha, 1, 0},
    {"scale", image_program::scale, 1, 4},
    {"add", image_program::add, 2, 0},
    {"invertColor", image_program::invert_color, 1, 0},
    {"invertAlpha", image_program::invert_alpha, 1, 0},
};

// An image name or a program over images: "heightmap(img, 4)". An unknown
// program stands for its first image.
stage_image MaterialParser::image(int depth)
{
    stage_image result;
    script_token token = in_.next();
    if (token.kind != script_token_kind::word) {
        fail("missing image");
        return result;
    }
    if (!(in_.peek().kind == script_token_kind::mark && in_.peek().text[0] == '(')) {
        result.name = std::string(token.text);
        return result;
    }
    if (depth >= nesting_limit) {
        fail("image programs nested too deep");
        return result;
    }
    in_.next();
    const Program* program = nullptr;
    for (const Program& candidate : programs)
        if (same_name(candidate.name, token.text))
            program = &candidate;
    if (program == nullptr) {
        result = image(depth + 1);
        while (!failed() && !is_mark(in_.peek(), ')') &&
               in_.peek().kind != script_token_kind::end &&
               in_.peek().kind != script_token_kind::open &&
               in_.peek().kind != script_token_kind::close)
            in_.next();
        if (!failed() && !is_mark(in_.next(), ')'))
            fail("missing \")\"");
        return result;
    }
    result.program = program->program;
    for (int i = 0; i < program->images + program->numbers && !failed(); i++) {
        if (i > 0 && !is_mark(in_.next(), ','))
            fail("missing \",\" in " + std::string(program->name));
        else if (i < program->images)
            result.inputs.push_back(image(depth + 1));
        else
            result.numbers.push_back(script_number(in_.next().text));
    }
    if (!failed() && !is_mark(in_.next(), ')'))
        fail("missing \")\" after " + std::string(program->name));
    return result;
}

struct NamedBlend {
    std::string_view name;
    blend_factor src, dst;
};

const NamedBlend named_blends[] = {
    {"blend", blend_factor::src_alpha, blend_factor::one_minus_src_alpha},
    {"add", blend_factor::one, blend_factor::one},
    {"filter", blend_factor::dst_color, blend_factor::zero},
    {"modulate", blend_factor::dst_color, blend_factor::zero},
    {"none", blend_factor::zero, blend_factor::one},
};

void MaterialParser::blend(material_stage* stage)
{
    std::string_view name = in_.next().text;
    for (auto [word, kind] : {std::pair{"bumpmap", stage_kind::bump},
                              {"diffusemap", stage_kind::diffuse},
                              {"specularmap", stage_kind::specular}})
        if (same_name(name, word)) {
            stage->kind = kind;
            return;
        }
    for (const NamedBlend& named : named_blends)
        if (same_name(name, named.name)) {
            stage->src = named.src, stage->dst = named.dst, stage->blended = true;
            return;
        }
    blend_factor src, dst;
    if (!gl_blend_factor(name, true, &src))
        return fail("unknown blend mode \"" + std::string(name) + "\"");
    if (!comma())
        return;
    std::string_view second = in_.next().text;
    if (!gl_blend_factor(second, false, &dst))
        return fail("unknown blend mode \"" + std::string(second) + "\"");
    stage->src = src, stage->dst = dst;
    stage->blended = !(src == blend_factor::one && dst == blend_factor::zero);
}

void MaterialParser::transform(material_stage* stage, transform_kind kind, bool two)
{
    texture_transform added;
    added.kind = kind;
    added.a = expression();
    if (two && !failed() && comma())
        added.b = expression();
    if (!failed() && stage->transforms.size() < transform_limit)
        stage->transforms.push_back(std::move(added));
}

void MaterialParser::stage_keyword(std::string_view word, material_stage* stage)
{
    static const std::pair<std::string_view, int> channels[] = {
        {"red", 0}, {"green", 1}, {"blue", 2}, {"alpha", 3}};
    static const std::pair<std::string_view, transform_kind> transforms[] = {
        {"scroll", transform_kind::scroll}, {"translate", transform_kind::scroll},
        {"scale", transform_kind::scale},   {"centerscale", transform_kind::center_scale},
        {"shear", transform_kind::shear},
    };
    if (same_name(word, "map")) {
        stage->image = image(0);
    } else if (same_name(word, "cubeMap") || same_name(word, "cameraCubeMap") ||
               same_name(word, "videoMap")) {
        stage->image.name = std::string(in_.argument());
        in_.skip_line();
    } else if (same_name(word, "blend")) {
        blend(stage);
    } else if (same_name(word, "alphaTest")) {
        stage->alpha_test = alpha_function::greater_than_expression;
        stage->alpha_threshold = expression();
    } else if (same_name(word, "rgb") || same_name(word, "rgba")) {
        material_expression value = expression();
        std::fill(stage->color, stage->color + (word.size() == 4 ? 4 : 3), value);
    } else if (same_name(word, "color")) {
        for (int i = 0; i < 4 && !failed(); i++)
            if (i == 0 || comma())
                stage->color[i] = expression();
    } else if (same_name(word, "colored")) {
        for (int i = 0; i < 4; i++)
            stage->color[i].steps = {{expression_op::parm, i}};
    } else if (same_name(word, "if")) {
        stage->condition = expression();
    } else if (same_name(word, "vertexColor")) {
        stage->vertex_color = true;
    } else if (same_name(word, "inverseVertexColor")) {
        stage->inverse_vertex_color = true;
    } else if (same_name(word, "rotate")) {
        transform(stage, transform_kind::rotate, false);
    } else if (same_name(word, "clamp") || same_name(word, "zeroclamp") ||
               same_name(word, "alphazeroclamp")) {
        stage->clamp = true;
    } else if (same_name(word, "texgen")) {
        std::string_view kind = in_.argument();
        if (same_name(kind, "environment") || same_name(kind, "reflect"))
            stage->generation = texture_generation::environment;
        in_.skip_line();
    } else {
        for (auto [name, channel] : channels)
            if (same_name(word, name)) {
                stage->color[channel] = expression();
                return;
            }
        for (auto [name, kind] : transforms)
            if (same_name(word, name)) {
                transform(stage, kind, true);
                return;
            }
        // Sampler, program and mask keywords change nothing drawn here.
        in_.skip_line();
    }
}

void MaterialParser::skip_block()
{
    size_t depth = 1;
    for (script_token token = in_.next(); token.kind != script_token_kind::end; token = in_.next())
        if (token.kind == script_token_kind::open)
            depth++;
        else if (token.kind == script_token_kind::close && --depth == 0)
            return;
}

void MaterialParser::stage()
{
    material_stage read = default_stage();
    read.line = in_.line();
    size_t steps_before = steps_;
    for (script_token token = in_.next(); !failed(); token = in_.next()) {
        if (token.kind == script_token_kind::end || token.kind == script_token_kind::close)
            break;
        if (token.kind == script_token_kind::open)
            skip_block();
        else if (token.kind == script_token_kind::word)
            stage_keyword(token.text, &read);
    }
    keep(std::move(read), steps_before);
}

// A stage past the limit is dropped, and its steps with it.
void MaterialParser::keep(material_stage stage, size_t steps_before)
{
    if (failed())
        return;
    if (stages_read_++ < stage_limit)
        material_->stages.push_back(std::move(stage));
    else
        steps_ = steps_before;
}

void MaterialParser::interaction_shortcut(stage_kind kind)
{
    material_stage read = default_stage();
    read.line = in_.line();
    read.kind = kind;
    read.image = image(0);
    keep(std::move(read), steps_);
}

struct NamedSort {
    std::string_view name;
    float sort;
};

const NamedSort id_tech4_sorts[] = {
    {"subview", -3},      {"gui", -2},    {"opaque", 0},        {"portalSky", 1},
    {"decal", 2},         {"far", 3},     {"medium", 4},        {"close", 5},
    {"almostNearest", 6}, {"nearest", 7}, {"postProcess", 100},
};

void MaterialParser::material_keyword(std::string_view word)
{
    game_material& m = *material_;
    if (same_name(word, "diffusemap")) {
        interaction_shortcut(stage_kind::diffuse);
    } else if (same_name(word, "bumpmap")) {
        interaction_shortcut(stage_kind::bump);
    } else if (same_name(word, "specularmap")) {
        interaction_shortcut(stage_kind::specular);
    } else if (same_name(word, "twoSided")) {
        m.cull = material_cull::none;
    } else if (same_name(word, "backSided")) {
        m.cull = material_cull::back;
    } else if (same_name(word, "translucent")) {
        m.translucent = true;
    } else if (same_name(word, "forceOpaque")) {
        force_opaque = true;
    } else if (same_name(word, "sort")) {
        std::string_view name = in_.argument();
        sort_written = true;
        m.sort = script_number(name);
        for (const NamedSort& named : id_tech4_sorts)
            if (same_name(name, named.name))
                m.sort = named.sort;
    } else if (same_name(word, "polygonOffset")) {
        std::string_view amount = in_.argument();
        m.polygon_offset = amount.empty() ? 1.0f : script_number(amount);
    } else if (same_name(word, "DECAL_MACRO")) {
        m.polygon_offset = 1, m.sort = 2, sort_written = true;
    } else if (same_name(word, "deform")) {
        std::string_view kind = in_.argument();
        if (same_name(kind, "sprite") || same_name(kind, "tube") || same_name(kind, "flare"))
            m.cull = material_cull::none;
        if (m.undrawn_deform.empty())
            m.undrawn_deform = std::string(kind);
        in_.skip_line();
    } else {
        // qer_editorimage, surface kinds, shadows, lights' keywords: nothing drawn here.
        in_.skip_line();
    }
}

void MaterialParser::read()
{
    script_token token = in_.next();
    if (token.kind != script_token_kind::open)
        return;
    for (token = in_.next(); !failed(); token = in_.next()) {
        if (token.kind == script_token_kind::end || token.kind == script_token_kind::close)
            break;
        if (token.kind == script_token_kind::open)
            stage();
        else if (token.kind == script_token_kind::word)
            material_keyword(token.text);
    }
}

// The engine's sort of a kind within a group: bump, diffuse, specular; the
// unlit stages, drawn in a pass of their own, keep their order.
int group_rank(stage_kind kind)
{
    switch (kind) {
    case stage_kind::bump:
        return 1;
    case stage_kind::diffuse:
        return 2;
    case stage_kind::specular:
        return 3;
    default:
        return 0;
    }
}

bool has_kind(const std::vector<material_stage>& stages, stage_kind kind)
{
    return std::any_of(stages.begin(), stages.end(),
                       [kind](const material_stage& s) { return s.kind == kind; });
}

void add_implicit_stages(game_material* material)
{
    std::vector<material_stage>& stages = material->stages;
    bool bump = has_kind(stages, stage_kind::bump), diffuse = has_kind(stages, stage_kind::diffuse),
         specular = has_kind(stages, stage_kind::specular);
    if (!bump && !diffuse && !specular)
        return;
    auto add = [&stages](stage_kind kind, const char* image) {
        material_stage stage = default_stage();
        stage.kind = kind;
        stage.image.name = image;
        stages.push_back(stage);
    };
    if (!bump)
        add(stage_kind::bump, "_flat");
    if (!diffuse && !specular && material->rules != material_rules::dark_mod)
        add(stage_kind::diffuse, "_white");
}

// Each bump after the first starts a group; the stages before the first
// bump belong to its group.
void sort_interaction_stages(std::vector<material_stage>* stages)
{
    auto group_start = stages->begin();
    bool seen_bump = false;
    for (auto at = stages->begin();; ++at) {
        bool ends = at == stages->end() || (at->kind == stage_kind::bump && seen_bump);
        if (ends) {
            std::stable_sort(group_start, at, [](const material_stage& a, const material_stage& b) {
                return group_rank(a.kind) < group_rank(b.kind);
            });
            group_start = at;
        }
        if (at == stages->end())
            break;
        seen_bump |= at->kind == stage_kind::bump;
    }
}

bool names_current_render(const stage_image& image)
{
    // Image programs are bounded in depth when read.
    return same_name(image.name, "_currentRender") ||
           std::any_of(image.inputs.begin(), image.inputs.end(), names_current_render);
}

bool dst_reading(blend_factor f)
{
    return f == blend_factor::dst_color || f == blend_factor::one_minus_dst_color ||
           f == blend_factor::dst_alpha || f == blend_factor::one_minus_dst_alpha;
}

material_coverage automatic_coverage(const std::vector<material_stage>& stages)
{
    if (stages.empty())
        return material_coverage::translucent;
    if (std::any_of(stages.begin(), stages.end(),
                    [](const material_stage& s) { return s.kind != stage_kind::unlit; }))
        return material_coverage::opaque;
    const material_stage& first = stages.front();
    return first.dst != blend_factor::zero || dst_reading(first.src)
               ? material_coverage::translucent
               : material_coverage::opaque;
}

bool stage_uses_time(const material_stage& stage)
{
    auto timed = [](const material_expression& e) { return e.uses_time(); };
    return std::any_of(stage.color, stage.color + 4, timed) || stage.condition.uses_time() ||
           stage.alpha_threshold.uses_time() ||
           std::any_of(
               stage.transforms.begin(), stage.transforms.end(),
               [](const texture_transform& t) { return t.a.uses_time() || t.b.uses_time(); });
}

void finish(game_material* m, bool sort_written, bool force_opaque)
{
    add_implicit_stages(m);
    sort_interaction_stages(&m->stages);
    bool alpha_tested =
        std::any_of(m->stages.begin(), m->stages.end(),
                    [](const material_stage& s) { return s.alpha_test != alpha_function::none; });
    m->coverage = force_opaque     ? material_coverage::opaque
                  : m->translucent ? material_coverage::translucent
                  : alpha_tested   ? material_coverage::perforated
                                   : automatic_coverage(m->stages);
    if (!sort_written)
        m->sort = m->polygon_offset != 0                          ? 2
                  : m->coverage == material_coverage::translucent ? 4
                                                                  : 0;
    bool post_process =
        std::any_of(m->stages.begin(), m->stages.end(),
                    [](const material_stage& s) { return names_current_render(s.image); });
    if (post_process)
        m->sort = 100, m->coverage = material_coverage::translucent;
    bool lit = std::any_of(m->stages.begin(), m->stages.end(), [](const material_stage& s) {
        return s.kind != stage_kind::unlit || s.generation != texture_generation::base;
    });
    m->create_back_sides = m->cull == material_cull::none && lit;
    for (material_stage& stage : m->stages) {
        stage.depth_write = false;
        stage.depth_equal = m->coverage != material_coverage::translucent && m->sort != 100;
    }
    m->nodraw = m->stages.empty();
    m->animated = std::any_of(m->stages.begin(), m->stages.end(), stage_uses_time);
}

// The words between a table's braces: [snap] [clamp] { v0, v1, ... }.
void read_table(script_reader* reader, material_table* table)
{
    constexpr size_t value_limit = size_t(1) << 16;
    size_t depth = 1;
    for (script_token token = script_next(reader); token.kind != script_token_kind::end;
         token = script_next(reader)) {
        if (token.kind == script_token_kind::open) {
            depth++;
        } else if (token.kind == script_token_kind::close) {
            if (--depth == 0)
                return;
        } else if (token.kind == script_token_kind::word && depth == 1) {
            table->snap |= same_name(token.text, "snap");
            table->clamp |= same_name(token.text, "clamp");
        } else if (token.kind == script_token_kind::word && depth == 2 &&
                   table->values.size() < value_limit) {
            table->values.push_back(script_number(token.text));
        }
    }
}

void skip_declaration(script_reader* reader)
{
    size_t depth = 1;
    for (script_token token = script_next(reader); token.kind != script_token_kind::end;
         token = script_next(reader))
        if (token.kind == script_token_kind::open)
            depth++;
        else if (token.kind == script_token_kind::close && --depth == 0)
            return;
}

}  // namespace

game_material read_id_tech4_material(std::string_view name, std::string_view block, int first_line,
                                     material_rules rules,
                                     const std::vector<material_table>& tables)
{
    game_material material;
    material.name = std::string(name);
    material.rules = rules == material_rules::quake3 ? material_rules::id_tech4 : rules;
    MaterialParser parser(block, first_line, &material, tables);
    parser.read();
    finish(&material, parser.sort_written, parser.force_opaque);
    return material;
}

void read_material_tables(std::string_view text, std::vector<material_table>* out)
{
    script_reader reader{text, 0, true};
    std::string_view kind, name;
    for (script_token token = script_next(&reader); token.kind != script_token_kind::end;
         token = script_next(&reader)) {
        if (token.kind == script_token_kind::word) {
            kind = name;
            name = token.text;
            continue;
        }
        if (token.kind == script_token_kind::open && same_name(kind, "table") && !name.empty()) {
            material_table table;
            table.name = std::string(name);
            read_table(&reader, &table);
            out->push_back(std::move(table));
        } else if (token.kind == script_token_kind::open) {
            skip_declaration(&reader);
        }
        kind = name = {};
    }
}
