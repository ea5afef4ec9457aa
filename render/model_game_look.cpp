// The passes of the game look, in the engines' order: opaque surfaces fill
// the depth in black (alpha-tested stages cut it), then their interactions
// with the light add up on the same pixels, then translucent surfaces'
// interactions, then every unlit stage of every surface in sort order, each
// with its blend, alpha test, colour and texture transform of the moment.
#define GL_GLEXT_PROTOTYPES
#include "render/model_game_look.h"

#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/decode.h"
#include "render/model_camera.h"
#include "render/model_programs.h"
#include "render/render.h"
#include "scene/scene.h"
#include "scene/stage_eval.h"

// What the game look keeps of the scene: the materials and their maps.
struct game_map {
    RgbaImage* image;  // until uploaded
    int texture;       // the picture is that model texture's
    bool found;
    GLuint id;
    GLuint* built_in;  // one of the engines' built-ins, kept once for every model
    std::string file;  // the loose file it came from, to be watched
};

static std::vector<scene_material> materials;
static std::vector<game_map> maps;
static material_rules tree_rules = material_rules::id_tech4;
// The engines' built-ins that stand in for maps not found, and Doom 3's
// specular table.
static GLuint white_texture, black_texture, flat_texture, specular_table;

// Where the scene's built-in images are kept: "built-in _white" and the like.
static GLuint* built_in_texture(const std::string& where)
{
    if (where == "built-in _white" || where == "built-in $whiteimage" || where == "built-in $lightmap")
        return &white_texture;
    if (where == "built-in _black")
        return &black_texture;
    return where == "built-in _flat" ? &flat_texture : nullptr;
}

void take_scene_materials(model_scene& scene)
{
    tree_rules = scene.rules;
    for (scene_map& map : scene.maps) {
        maps.push_back({map.image, map.texture, map.found, 0, built_in_texture(map.where),
                        map.loose ? map.where : std::string()});
        map.image = nullptr;
    }
    materials = std::move(scene.materials);
    scene.materials.clear();
}

static const game_material* material_at(int material)
{
    return material >= 0 && size_t(material) < materials.size() ? &materials[size_t(material)].material : nullptr;
}

bool game_material_drawable(int material)
{
    const game_material* m = material_at(material);
    return m != nullptr && !m->defaulted && !m->nodraw && !m->stages.empty();
}

bool game_material_deforms(int material)
{
    const game_material* m = material_at(material);
    return m != nullptr && !m->deforms.empty();
}

bool game_material_lit(int material)
{
    const game_material* m = material_at(material);
    return m != nullptr && std::any_of(m->stages.begin(), m->stages.end(),
                                       [](const material_stage& s) { return s.kind != stage_kind::unlit; });
}

bool game_material_uses_vertex_colors(int material)
{
    const game_material* m = material_at(material);
    if (m == nullptr)
        return false;
    for (const material_stage& s : m->stages) {
        bool quake3_vertex = m->rules == material_rules::quake3 &&
                             (s.rgb == color_source::vertex || s.rgb == color_source::exact_vertex ||
                              s.rgb == color_source::one_minus_vertex || s.alpha == color_source::vertex);
        if (s.vertex_color || s.inverse_vertex_color || quake3_vertex)
            return true;
    }
    return false;
}

static GLuint one_texel(const unsigned char texel[4])
{
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    return id;
}

// Texel i = floor(255 f) / 255, f = (max(0, 4 (i / 255 - 0.75)))^2, read
// with a linear filter at N.H.
static GLuint make_specular_table()
{
    unsigned char texels[256 * 4];
    for (int i = 0; i < 256; i++) {
        double f = std::max(0.0, 4.0 * (i / 255.0 - 0.75));
        unsigned char value = (unsigned char)std::floor(255.0 * f * f);
        memset(texels + i * 4, value, 4);
    }
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 256, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    return id;
}

void upload_game_maps()
{
    if (white_texture == 0) {
        static const unsigned char white[4] = {255, 255, 255, 255}, black[4] = {0, 0, 0, 0},
                                   flat[4] = {128, 128, 255, 255};
        white_texture = one_texel(white);
        black_texture = one_texel(black);
        flat_texture = one_texel(flat);
        specular_table = make_specular_table();
    }
    for (game_map& map : maps)
        if (map.found && map.texture < 0 && map.image != nullptr && map.built_in == nullptr) {
            map.id = upload_model_image(map.image);
            image_free(map.image);
            map.image = nullptr;
        }
}

void reset_game_maps()
{
    for (game_map& map : maps) {
        if (map.id != 0)
            glDeleteTextures(1, &map.id);
        image_free(map.image);
    }
    maps.clear();
    materials.clear();
}

// The map's GL texture, 0 when it was not found.
static GLuint map_texture(int map)
{
    if (map < 0 || size_t(map) >= maps.size() || !maps[size_t(map)].found)
        return 0;
    const game_map& m = maps[size_t(map)];
    return m.built_in ? *m.built_in : m.texture >= 0 ? model_textures[size_t(m.texture)].id : m.id;
}

static void bind(GLenum unit, GLuint id, bool clamp)
{
    glActiveTexture(unit);
    glBindTexture(GL_TEXTURE_2D, id);
    GLint wrap = clamp ? GL_CLAMP_TO_EDGE : GL_REPEAT;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
}

static GLenum gl_factor(blend_factor factor)
{
    static const GLenum factors[] = {GL_ONE,       GL_ZERO,      GL_DST_COLOR,           GL_ONE_MINUS_DST_COLOR,
                                     GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA,
                                     GL_SRC_ALPHA_SATURATE, GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR};
    return factors[size_t(factor)];
}

// The modelview's upper 3 x 3 inverted by cofactors, rows first: what takes
// the eye's directions into the model's space. A singular one is taken as
// of determinant 1.
struct modelview_turn {
    double inverse[9];
    double translation[3];
    // The inverse applied to v.
    void apply(const double v[3], double out[3]) const
    {
        for (int r = 0; r < 3; r++)
            out[r] = inverse[r * 3] * v[0] + inverse[r * 3 + 1] * v[1] + inverse[r * 3 + 2] * v[2];
    }
};

static modelview_turn modelview_inverse()
{
    GLdouble m[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    double a = m[0], b = m[4], c = m[8], d = m[1], e = m[5], f = m[9], g = m[2], h = m[6], i = m[10];
    modelview_turn turn = {{e * i - f * h, c * h - b * i, b * f - c * e, f * g - d * i, a * i - c * g,
                            c * d - a * f, d * h - e * g, b * g - a * h, a * e - b * d},
                           {m[12], m[13], m[14]}};
    double det = a * turn.inverse[0] + b * turn.inverse[3] + c * turn.inverse[6];
    if (det == 0.0 || !std::isfinite(det))
        det = 1.0;
    for (double& x : turn.inverse)
        x /= det;
    return turn;
}

// The eye in the model's own space, where the normals and tangents are:
// its place, or with an orthographic camera the direction towards it.
static void eye_in_model(float eye[3])
{
    modelview_turn turn = modelview_inverse();
    double v[3] = {-turn.translation[0], -turn.translation[1], -turn.translation[2]}, out[3];
    if (model_camera.orthographic)
        v[0] = 0.0, v[1] = 0.0, v[2] = 1.0;
    turn.apply(v, out);
    for (int r = 0; r < 3; r++)
        eye[r] = float(out[r]);
}

// What the material's expressions read at this time.
static expression_context context_of(const game_material& m, double time)
{
    expression_context context;
    context.time = float(time);
    context.tables = &m.tables;
    return context;
}

static void set_cull(const game_material& m)
{
    if (m.cull == material_cull::none) {
        glDisable(GL_CULL_FACE);
        return;
    }
    glEnable(GL_CULL_FACE);
    glCullFace(m.cull == material_cull::front ? GL_BACK : GL_FRONT);
}

static void set_offset(const game_material& m)
{
    if (m.polygon_offset == 0.0f) {
        glDisable(GL_POLYGON_OFFSET_FILL);
        return;
    }
    glEnable(GL_POLYGON_OFFSET_FILL);
    if (m.rules == material_rules::quake3)
        glPolygonOffset(-1.0f, -2.0f);
    else
        glPolygonOffset(0.0f, -600.0f * m.polygon_offset);
}

// The buffer of the corners' places, normals and texture coordinates, as
// the caller bound it.
static GLint corner_buffer = 0;

static void corner_pointers(const void* base)
{
    const char* at = (const char*)base;
    glVertexPointer(3, GL_FLOAT, sizeof(deform_corner), at + offsetof(deform_corner, position));
    glNormalPointer(GL_FLOAT, sizeof(deform_corner), at + offsetof(deform_corner, normal));
    glTexCoordPointer(2, GL_FLOAT, sizeof(deform_corner), at + offsetof(deform_corner, st));
}

// A deformed batch comes from this frame's corners in memory, without the
// tangents and colours of the undeformed ones.
static void draw_deformed(const std::vector<deform_corner>& corners)
{
    static_assert(sizeof(deform_corner) == sizeof(model_vertex));
    GLboolean colors = glIsEnabled(GL_COLOR_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    corner_pointers(corners.data());
    glDrawArrays(GL_TRIANGLES, 0, GLsizei(corners.size()));
    glBindBuffer(GL_ARRAY_BUFFER, GLuint(corner_buffer));
    corner_pointers(nullptr);
    if (colors)
        glEnableClientState(GL_COLOR_ARRAY);
}

static void draw_elements(const game_batch& batch)
{
    if (batch.deformed != nullptr)
        draw_deformed(*batch.deformed);
    else
        glDrawElements(GL_TRIANGLES, batch.count, GL_UNSIGNED_INT,
                       (const void*)(size_t(batch.first) * sizeof(GLuint)));
}

// The camera's axes in the model's space: the inverse of the modelview's
// turn applied to the eye's right, up and forward.
static deform_view view_in_model()
{
    modelview_turn turn = modelview_inverse();
    auto axis = [&](double x, double y, double z) {
        double given[3] = {x, y, z}, v[3];
        turn.apply(given, v);
        double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (!(length > 0.0) || !std::isfinite(length))
            return model_vec3{float(x), float(y), float(z)};
        return model_vec3{float(v[0] / length), float(v[1] / length), float(v[2] / length)};
    };
    return {axis(1, 0, 0), axis(0, 1, 0), axis(0, 0, -1)};
}

static void deform_batches(const std::vector<game_batch>& batches, double time)
{
    deform_view view = view_in_model();
    for (const game_batch& batch : batches)
        if (batch.corners != nullptr && batch.deformed != nullptr) {
            const game_material& m = materials[size_t(batch.material)].material;
            deform_corners(*batch.corners, m.deforms, float(time), view, batch.deformed);
        }
}

// The stage's texture transform at this moment, rows of (s, t, 1); a turb
// among them is left to the caller.
static void matrix_uniform(GLint location, const material_stage* stage, const expression_context& context)
{
    float m[6] = {1, 0, 0, 0, 1, 0};
    if (stage != nullptr)
        stage_texture_matrix(*stage, context, m);
    glUniform3fv(location, 2, m);
}

static int alpha_function_number(alpha_function f)
{
    return int(f);
}

// An unlit stage, or the depth fill's pass of one, with the stage program bound.
static void set_stage(const material_stage& stage, const game_material& m, const expression_context& context,
                      bool fill)
{
    const stage_program& p = model_stage_program();
    matrix_uniform(p.transform, &stage, context);
    auto turb = std::find_if(stage.transforms.begin(), stage.transforms.end(),
                             [](const texture_transform& t) { return t.kind == transform_kind::q3_turb; });
    if (turb == stage.transforms.end())
        glUniform3f(p.turb, 0.0f, 0.0f, 0.0f);
    else
        glUniform3f(p.turb, turb->wave.amplitude, turb->wave.phase + context.time * turb->wave.frequency, 1.0f);
    glUniform1i(p.environment, stage.generation == texture_generation::environment);
    stage_color color = evaluate_color(stage, m.rules, context);
    if (fill) {
        color.rgba[0] = color.rgba[1] = color.rgba[2] = 0.0f;
        if (color.shade != stage_shade::constant)
            color.shade = stage_shade::constant;
    }
    glUniform4fv(p.color, 1, color.rgba);
    glUniform1i(p.color_source, int(color.shade));
    glUniform1i(p.vertex_alpha, color.vertex_alpha);
    glUniform1i(p.alpha_function, alpha_function_number(stage.alpha_test));
    glUniform1f(p.alpha_threshold, evaluate(stage.alpha_threshold, context));
}

// The stage's map at this time; 0 when it has none found.
static GLuint stage_texture(const scene_material& loaded, size_t i, float time)
{
    const material_stage& stage = loaded.material.stages[i];
    if (!stage.frames.empty() && i < loaded.frame_maps.size() && !loaded.frame_maps[i].empty())
        return map_texture(loaded.frame_maps[i][animation_frame(stage, time) % loaded.frame_maps[i].size()]);
    return i < loaded.stage_maps.size() ? map_texture(loaded.stage_maps[i]) : 0;
}

// Whether the surface writes depth before its light and stages: opaque and
// alpha-tested ones do; translucent ones, and Quake III shaders whose first
// stage blends, do not.
static bool fills_depth(const game_material& m)
{
    if (m.rules == material_rules::quake3)
        return !m.stages.empty() && !m.stages.front().blended;
    return m.coverage != material_coverage::translucent;
}

static void fill_depth(const game_batch& batch, const scene_material& loaded, const expression_context& context)
{
    const game_material& m = loaded.material;
    const stage_program& p = model_stage_program();
    glUniform1i(p.image, 0);
    bool cut = false;
    for (size_t i = 0; i < m.stages.size(); i++) {
        const material_stage& stage = m.stages[i];
        GLuint id = stage_texture(loaded, i, context.time);
        if (stage.alpha_test == alpha_function::none || id == 0 || !stage_drawn(stage, m.rules, context))
            continue;
        cut = true;
        set_stage(stage, m, context, true);
        bind(GL_TEXTURE0, id, stage.clamp);
        draw_elements(batch);
    }
    if (cut)
        return;
    material_stage plain;
    set_stage(plain, m, context, true);
    bind(GL_TEXTURE0, white_texture, false);
    draw_elements(batch);
}

// One bump, diffuse and specular group of stages; -1 for one not given.
struct interaction_group {
    int bump = -1, diffuse = -1, specular = -1;
};

static std::vector<interaction_group> groups_of(const game_material& m)
{
    std::vector<interaction_group> groups;
    interaction_group group;
    // A second diffuse or specular map starts a group of the same bump map.
    auto flush = [&](bool keep_bump) {
        if (group.bump >= 0 || group.diffuse >= 0 || group.specular >= 0)
            groups.push_back(group);
        group = {.bump = keep_bump ? group.bump : -1};
    };
    for (size_t i = 0; i < m.stages.size(); i++) {
        const material_stage& stage = m.stages[i];
        if (stage.kind == stage_kind::bump) {
            flush(false);
            group.bump = int(i);
        } else if (stage.kind == stage_kind::diffuse) {
            if (group.diffuse >= 0)
                flush(true);
            group.diffuse = int(i);
        } else if (stage.kind == stage_kind::specular) {
            if (group.specular >= 0)
                flush(true);
            group.specular = int(i);
        }
    }
    flush(false);
    return groups;
}

// A map of the group: its texture, the built-in that stands in for it, and
// its transform.
static GLuint group_map(const scene_material& loaded, int stage, GLuint stand_in, const expression_context& c,
                        GLint matrix_location, bool* clamp)
{
    const game_material& m = loaded.material;
    if (stage < 0 || !stage_drawn(m.stages[size_t(stage)], m.rules, c)) {
        matrix_uniform(matrix_location, nullptr, c);
        return stand_in;
    }
    matrix_uniform(matrix_location, &m.stages[size_t(stage)], c);
    *clamp = m.stages[size_t(stage)].clamp;
    GLuint id = stage_texture(loaded, size_t(stage), c.time);
    return id != 0 ? id : stand_in;
}

// The first interaction drawn replaces the colour and writes the depth
// itself when `writes_depth`: over a black fill it would add to nothing.
// Whether any was drawn.
static bool draw_interactions(const game_batch& batch, const scene_material& loaded, const expression_context& c,
                              bool writes_depth)
{
    bool drawn = false;
    const game_material& m = loaded.material;
    const interaction_program& p = model_interaction_program();
    for (const interaction_group& group : groups_of(m)) {
        // A group without a bump map draws nothing; the implicit _flat one is there.
        if (group.bump < 0)
            continue;
        bool clamp = false;
        GLuint bump = group_map(loaded, group.bump, flat_texture, c, p.bump_matrix, &clamp);
        bind(GL_TEXTURE0, bump, clamp);
        const int8_t* axes = m.stages[size_t(group.bump)].normal_axes;
        glUniform3f(p.normal_axes, axes[0], axes[1], axes[2]);
        clamp = false;
        GLuint diffuse = group_map(loaded, group.diffuse, black_texture, c, p.diffuse_matrix, &clamp);
        bind(GL_TEXTURE1, diffuse, clamp);
        clamp = false;
        GLuint specular = group_map(loaded, group.specular, black_texture, c, p.specular_matrix, &clamp);
        bind(GL_TEXTURE2, specular, clamp);
        // The light's colour is 0.5 times the light scale 2: a diffuse texel
        // facing the eye shows at its own value.
        float kd[4] = {0, 0, 0, 0}, ks[4] = {0, 0, 0, 0};
        int vertex_colors = 0;
        for (int stage : {group.diffuse, group.specular}) {
            if (stage < 0)
                continue;
            const material_stage& s = m.stages[size_t(stage)];
            stage_color color = evaluate_color(s, m.rules, c);
            std::copy(color.rgba, color.rgba + 3, stage == group.diffuse ? kd : ks);
            vertex_colors = s.vertex_color ? 1 : s.inverse_vertex_color ? 2 : 0;
        }
        bool dark = (diffuse == black_texture || (kd[0] <= 0 && kd[1] <= 0 && kd[2] <= 0)) &&
                    (specular == black_texture || (ks[0] <= 0 && ks[1] <= 0 && ks[2] <= 0));
        if (dark)
            continue;
        glUniform3fv(p.diffuse_color, 1, kd);
        glUniform3fv(p.specular_color, 1, ks);
        glUniform1i(p.vertex_colors, vertex_colors);
        glUniform1i(p.rules, m.rules == material_rules::id_tech4 ? 0 : m.rules == material_rules::dark_mod ? 1 : 2);
        bool first = writes_depth && !drawn;
        if (first) {
            glDisable(GL_BLEND);
            glDepthMask(GL_TRUE);
            glDepthFunc(GL_LEQUAL);
        }
        draw_elements(batch);
        if (first) {
            glEnable(GL_BLEND);
            glDepthMask(GL_FALSE);
            glDepthFunc(GL_EQUAL);
        }
        drawn = true;
    }
    return drawn;
}

// An opaque lit surface without an alpha test needs no fill of its own:
// its first interaction writes its depth.
static bool lit_fills_depth(const game_material& m)
{
    return fills_depth(m) && !groups_of(m).empty() &&
           std::none_of(m.stages.begin(), m.stages.end(),
                        [](const material_stage& s) { return s.alpha_test != alpha_function::none; });
}

static void draw_unlit(const game_batch& batch, const scene_material& loaded, bool filled, const expression_context& c)
{
    const game_material& m = loaded.material;
    const stage_program& p = model_stage_program();
    glUniform1i(p.image, 0);
    for (size_t i = 0; i < m.stages.size(); i++) {
        const material_stage& stage = m.stages[i];
        if (stage.kind != stage_kind::unlit || !stage_drawn(stage, m.rules, c))
            continue;
        GLuint id = stage_texture(loaded, i, c.time);
        if (id == 0)
            continue;
        if (stage.src == blend_factor::one && stage.dst == blend_factor::zero) {
            glDisable(GL_BLEND);
        } else {
            glEnable(GL_BLEND);
            glBlendFunc(gl_factor(stage.src), gl_factor(stage.dst));
        }
        if (m.rules == material_rules::quake3) {
            glDepthMask(stage.depth_write ? GL_TRUE : GL_FALSE);
            glDepthFunc(stage.depth_equal ? GL_EQUAL : GL_LEQUAL);
        } else {
            glDepthMask(GL_FALSE);
            glDepthFunc(filled ? GL_EQUAL : GL_LEQUAL);
        }
        set_stage(stage, m, c, false);
        bind(GL_TEXTURE0, id, stage.clamp);
        draw_elements(batch);
    }
}

static void use_program(GLuint id, GLint eye_location, GLint orthographic_location, const float eye[3])
{
    glUseProgram(id);
    glUniform3fv(eye_location, 1, eye);
    glUniform1i(orthographic_location, model_camera.orthographic);
}

void draw_game_batches(const std::vector<game_batch>& batches, double time)
{
    if (batches.empty())
        return;
    float eye[3];
    eye_in_model(eye);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &corner_buffer);
    deform_batches(batches, time);
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT | GL_POLYGON_BIT | GL_TEXTURE_BIT);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    const stage_program& stage = model_stage_program();
    const interaction_program& lit = model_interaction_program();

    // Depth, in black, of what covers what lies behind it.
    use_program(stage.id, stage.eye, stage.orthographic, eye);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_TRUE);
    for (const game_batch& batch : batches) {
        const game_material& m = materials[size_t(batch.material)].material;
        if (!fills_depth(m) || lit_fills_depth(m))
            continue;
        set_cull(m);
        set_offset(m);
        fill_depth(batch, materials[size_t(batch.material)], context_of(m, time));
    }

    // The light, added: on the filled surfaces, then on the translucent ones.
    use_program(lit.id, lit.eye, lit.orthographic, eye);
    glUniform1i(lit.bump_map, 0);
    glUniform1i(lit.diffuse_map, 1);
    glUniform1i(lit.specular_map, 2);
    glUniform1i(lit.specular_table, 3);
    glActiveTexture(GL_TEXTURE3);
    glBindTexture(GL_TEXTURE_2D, specular_table);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glDepthMask(GL_FALSE);
    for (bool filled : {true, false})
        for (const game_batch& batch : batches) {
            const game_material& m = materials[size_t(batch.material)].material;
            if (fills_depth(m) != filled)
                continue;
            glDepthFunc(filled ? GL_EQUAL : GL_LEQUAL);
            set_cull(m);
            set_offset(m);
            bool writes_depth = filled && lit_fills_depth(m);
            if (!draw_interactions(batch, materials[size_t(batch.material)], context_of(m, time), writes_depth) &&
                writes_depth) {
                // Nothing lit it: black, as the fill would have left it.
                use_program(stage.id, stage.eye, stage.orthographic, eye);
                glDisable(GL_BLEND);
                glDepthMask(GL_TRUE);
                glDepthFunc(GL_LEQUAL);
                fill_depth(batch, materials[size_t(batch.material)], context_of(m, time));
                use_program(lit.id, lit.eye, lit.orthographic, eye);
                glEnable(GL_BLEND);
                glDepthMask(GL_FALSE);
            }
        }

    // Every unlit stage, the surfaces in their sort order.
    std::vector<const game_batch*> sorted;
    for (const game_batch& batch : batches)
        sorted.push_back(&batch);
    std::stable_sort(sorted.begin(), sorted.end(), [](const game_batch* a, const game_batch* b) {
        return materials[size_t(a->material)].material.sort < materials[size_t(b->material)].material.sort;
    });
    use_program(stage.id, stage.eye, stage.orthographic, eye);
    for (const game_batch* batch : sorted) {
        const scene_material& loaded = materials[size_t(batch->material)];
        set_cull(loaded.material);
        set_offset(loaded.material);
        draw_unlit(*batch, loaded, fills_depth(loaded.material), context_of(loaded.material, time));
    }
    glUseProgram(0);
    glActiveTexture(GL_TEXTURE0);
    glDepthMask(GL_TRUE);
    glPopAttrib();
}

bool game_look_animated(const std::vector<game_batch>& batches)
{
    for (const game_batch& batch : batches)
        if (materials[size_t(batch.material)].material.animated)
            return true;
    return false;
}

static const char* rules_name(material_rules rules)
{
    switch (rules) {
    case material_rules::id_tech4: return "id Tech 4 (dhewm3)";
    case material_rules::dark_mod: return "The Dark Mod";
    case material_rules::quake3: break;
    }
    return "Quake III (ioquake3, Daemon's keywords)";
}

void describe_game_materials(std::string* rules, std::vector<std::string>* lines)
{
    std::vector<material_rules> used;
    lines->clear();
    for (const scene_material& loaded : materials) {
        const game_material& m = loaded.material;
        if (std::find(used.begin(), used.end(), m.rules) == used.end())
            used.push_back(m.rules);
        lines->push_back(m.name + ": " + (m.defaulted ? std::string("default material, the editor's look")
                                                       : stage_summary(m)));
    }
    if (used.empty())
        used.push_back(tree_rules);
    *rules = "rules:";
    for (size_t i = 0; i < used.size(); i++)
        *rules += std::string(i ? ", " : " ") + rules_name(used[i]);
}

std::vector<std::string> game_map_files()
{
    std::vector<std::string> files;
    for (const game_map& map : maps)
        if (!map.file.empty())
            files.push_back(map.file);
    return files;
}
