// A material as the games draw it, free of GL: an ordered list of stages of
// plain data, read from an id Tech 4 material (materials/*.mtr) or a Quake
// III-family shader (scripts/*.shader, Daemon's keywords included). The
// model view's renderer and the exporter both read it; what varies in time
// is kept as expressions and waves, evaluated by the reader's caller.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Whose rules a material follows.
enum class material_rules { id_tech4, dark_mod, quake3 };

// An id Tech 4 expression compiled to postfix operations over registers;
// evaluated on a small stack, so a hostile nesting costs its length alone.
enum class expression_op : uint8_t {
    number,  // value
    time,    // the materials' clock, in seconds
    parm,    // parm0..parm11 (index)
    global,  // global0..global7 (index): 0 in a viewer
    table,   // pops the index, pushes tables[index](value)
    add, subtract, multiply, divide, modulo,
    greater, greater_equal, less, less_equal, equal, not_equal, logical_and, logical_or,
};

struct expression_step {
    expression_op op;
    int index = 0;  // parm, global or table number
    float value = 0.0f;
};

struct material_expression {
    std::vector<expression_step> steps;  // empty: the constant `fallback`
    float fallback = 0.0f;
    bool uses_time() const;
};

// A table declared by `table name { [snap] [clamp] { v0, v1, ... } }`, or one
// of the base data's tables that a tree does not declare.
struct material_table {
    std::string name;
    bool snap = false, clamp = false;
    std::vector<float> values;
};

// What an expression reads besides its steps. `tables` is the material's
// own `tables`, which its table steps index.
struct expression_context {
    float time = 0.0f;
    float parms[12] = {1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<material_table>* tables = nullptr;
};

// Always finite: a division by zero, an overflow or a missing table gives 0.
float evaluate(const material_expression& expression, const expression_context& context);
// The table at that index (linear between entries unless snap, wrapping
// unless clamp), 0 for a table index out of range or an empty table.
float table_lookup(const material_table& table, float index);
// The base data's sinTable, cosTable, squareTable, triangleTable,
// sawtoothTable and inverseSawtoothTable, for a tree that lacks them.
std::vector<material_table> base_tables();

// A Quake III wave: base + amplitude * f((phase + time * frequency)),
// f read from the renderer's 1024-entry tables.
enum class wave_function : uint8_t { sin, square, triangle, sawtooth, inverse_sawtooth, noise };
struct material_wave {
    wave_function function = wave_function::sin;
    float base = 0, amplitude = 0, phase = 0, frequency = 0;
};
// Always finite; noise is a fixed lattice noise in [-1, 1], the game's own
// being random at each start.
float wave_value(const material_wave& wave, float time);

// An image as a stage names it: a file name, a built-in ("_white", "_flat",
// "_black", "$whiteimage", "$lightmap"), or an image program over images.
enum class image_program : uint8_t {
    none,  // `name` alone
    heightmap, addnormals, smoothnormals, make_intensity, make_alpha, scale, add,
    invert_color, invert_alpha,
};
struct stage_image {
    std::string name;  // the file or built-in, for image_program::none
    image_program program = image_program::none;
    std::vector<stage_image> inputs;  // the program's images, in order
    std::vector<float> numbers;       // its numbers: heightmap's scale, scale's four factors
    bool empty() const { return program == image_program::none && name.empty(); }
};

enum class stage_kind : uint8_t { diffuse, bump, specular, unlit };

enum class blend_factor : uint8_t {
    one, zero, dst_color, one_minus_dst_color, src_alpha, one_minus_src_alpha, dst_alpha,
    one_minus_dst_alpha, src_alpha_saturate, src_color, one_minus_src_color,
};

// Quake III colour sources (rgbGen, alphaGen); an id Tech 4 stage's colour
// is always `expression`.
enum class color_source : uint8_t {
    expression,  // the stage's colour expressions (id Tech 4), or `constant` values
    identity, identity_lighting, vertex, exact_vertex, one_minus_vertex, entity,
    one_minus_entity, constant, wave, lighting_diffuse,
};

enum class alpha_function : uint8_t { none, greater_than_expression, gt0, lt128, ge128 };

// One texture-coordinate transform. id Tech 4's keywords are matrices
// multiplied on the right (the last written acts first on the raw
// coordinates); Quake III's tcMods act in the order written.
enum class transform_kind : uint8_t {
    scroll, scale, center_scale, shear, rotate,           // id Tech 4 (scroll = translate)
    q3_scroll, q3_scale, q3_rotate, q3_stretch, q3_transform, q3_turb,
};
struct texture_transform {
    transform_kind kind = transform_kind::scroll;
    material_expression a, b;  // id Tech 4's arguments (rotate: a alone)
    float numbers[6] = {};     // Quake III's: scroll s t, scale s t, rotate degrees/s, transform m00 m01 m10 m11 t0 t1
    material_wave wave;        // stretch, turb (turb: base amplitude phase frequency)
};

enum class texture_generation : uint8_t { base, environment, lightmap, vector };

struct material_stage {
    stage_kind kind = stage_kind::unlit;
    stage_image image;
    // animMap: the frames, image being the first; frames a second.
    std::vector<stage_image> frames;
    float frame_rate = 0;
    bool clamp = false;  // clampmap, clamp, zeroclamp
    blend_factor src = blend_factor::one, dst = blend_factor::zero;
    bool blended = false;      // a blend or blendFunc other than replacing was written
    bool depth_write = true;   // Quake III: off once blended unless depthWrite
    bool depth_equal = false;  // depthFunc equal
    alpha_function alpha_test = alpha_function::none;
    material_expression alpha_threshold;  // alphaTest's
    // Colour: id Tech 4's four registers (default constant 1), or Quake III's
    // rgbGen/alphaGen with their constant or wave.
    color_source rgb = color_source::expression, alpha = color_source::expression;
    material_expression color[4];
    material_wave rgb_wave, alpha_wave;
    material_expression condition;  // `if`; empty steps with fallback 1: always drawn
    bool vertex_color = false, inverse_vertex_color = false;
    texture_generation generation = texture_generation::base;
    float generation_vectors[2][3] = {};  // tcGen vector's s and t axes, in model space
    std::vector<texture_transform> transforms;
    // Daemon's per-pixel stage keywords, lit with Daemon's rules; a diffuse
    // stage carries them.
    bool daemon = false;
    // A bump stage's normal axes against the games' own (X right, Y down the
    // picture, Z out): -1 where its map runs the other way (Daemon's
    // normalFormat).
    int8_t normal_axes[3] = {1, 1, 1};
    // Where the stage was written, for lines about it.
    int line = 0;
};

enum class material_cull : uint8_t { front, back, none };
enum class material_coverage : uint8_t { opaque, perforated, translucent };

enum class deform_kind : uint8_t { autosprite, autosprite2, wave, move, bulge };
struct material_deform {
    deform_kind kind = deform_kind::autosprite;
    material_wave wave;     // wave, move
    float spread = 0;       // wave: the per-vertex phase divisor
    float vector[3] = {};   // move: the direction; bulge: width, height, speed
};

struct game_material {
    std::string name;
    material_rules rules = material_rules::id_tech4;
    std::vector<material_stage> stages;  // in the order the game draws them
    material_cull cull = material_cull::front;
    material_coverage coverage = material_coverage::opaque;
    bool translucent = false;  // written `translucent`
    float sort = 0;            // id Tech 4's or Quake III's sort value
    float polygon_offset = 0;  // 0: none
    std::vector<material_deform> deforms;
    // A deform the view does not draw (id Tech 4's sprite, tube, flare...;
    // Quake III's normal, text...), the first written; empty for none.
    std::string undrawn_deform;
    // id Tech 4's twoSided on a lit material: the engine draws the back
    // faces as a reversed copy with normals of their own (cull is none).
    bool create_back_sides = false;
    // The tables the expressions' table steps index, copied from the tree's
    // or the base data's: set expression_context::tables to it.
    std::vector<material_table> tables;
    bool nodraw = false;  // surfaceparm nodraw, or no stage that draws
    // The game would show its default material: the view shows the editor
    // look instead and says why, naming the line.
    bool defaulted = false;
    int defaulted_line = 0;
    std::string defaulted_why;
    // Whether anything changes with time: a static material draws once.
    bool animated = false;
};

// Reads an id Tech 4 material's block, the text between its braces with the
// braces, written at `first_line` of its file. Stages are sorted as the
// engine sorts them and its implicit stages added (_flat bump; _white
// diffuse unless the Dark Mod's rules apply). Never fails: what the engine
// defaults is marked defaulted.
game_material read_id_tech4_material(std::string_view name, std::string_view block, int first_line,
                                     material_rules rules, const std::vector<material_table>& tables);
// Reads a Quake III-family shader's block likewise; unknown blends become
// GL_ONE as in the game.
game_material read_quake3_shader(std::string_view name, std::string_view block, int first_line);
// The material the engines make for an image that nothing declares: id Tech
// 4's lit diffuse map, or Quake III's one stage lit per vertex.
game_material implicit_material(std::string_view image, material_rules rules);
// The animMap frame shown at that time (0 without frames).
size_t animation_frame(const material_stage& stage, float time);
// The stage's texture coordinates for the raw (s, t) of a vertex at
// `position` (model space, for turb), every transform applied in the
// engine's order. Translations id Tech 4 keeps within [-40, 40] are kept so.
void stage_texture_coordinates(const material_stage& stage, const expression_context& context,
                               const float position[3], float st[2]);
// The same as one affine map s' = m[0]s + m[1]t + m[2], t' = m[3]s + m[4]t +
// m[5], for a GPU: false when the stage has a turb, which varies per vertex
// and is left out of m.
bool stage_texture_matrix(const material_stage& stage, const expression_context& context, float m[6]);
// A few words for the stages: "diffuse bump specular +glow".
std::string stage_summary(const game_material& material);
// Appends the tables a material file declares, in the order of the text.
void read_material_tables(std::string_view text, std::vector<material_table>* out);
