// The model view: every object of the file, each face with its material's
// texture or colour, lit by a light at the eye and framed as the fitted view
// frames. The faces are sorted into one batch per look and kept in GL
// buffers, corners that agree in everything sharing a vertex, so a frame is a
// handful of draw calls whatever the model's size.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "mesh/huge_pages.h"
#include "mesh/model_files.h"
#include "mesh/model.h"
#include "render/model_game_look.h"
#include "render/model_look.h"
#include "render/model_overlay.h"
#include "render/model_programs.h"
#include "render/render.h"
#include "scene/scene.h"
#include "scene/tangents.h"

// How a face looks: its texture, or its colour where it has none; its
// faces' corners are `count` indices from `first` on.
struct model_batch {
    int texture;  // index in model_textures; -1 for the colour alone
    float color[3];
    GLint first;
    GLsizei count;
    bool missing;  // its material's texture was not found
    bool hidden;   // its material's texture is never drawn by the game
    int material;  // what the game draws, in the game look's materials; -1: none
};

// What the game look needs of a corner besides its place, normal and
// texture coordinates: the tangent frame of its lit maps and the file's
// vertex colour. Kept apart, and made only for models whose materials
// need it.
struct shading_vertex {
    float tangent[3], bitangent[3];
    unsigned char color[4];
};

static std::vector<model_batch> batches;
// The drawn corners, built while the window opens and the dumps are
// written, and let go once uploaded.
static std::vector<model_vertex> vertices;
static std::vector<GLuint> indices;
static std::vector<shading_vertex> shading;
// The corners of the batches whose material deforms them, three to a face,
// and each frame's deformed ones; empty for the other batches.
static std::vector<std::vector<deform_corner>> deform_sources, deform_outputs;
// The looks and textures of the file shown, found on the game's tree as it
// is when the file is read.
static model_scene scene;
static std::vector<int> face_looks;
static std::thread corner_builder;
// The materials whose faces are hidden.
static std::set<const model_material*> hidden_materials;
static GLuint vertex_buffer = 0, index_buffer = 0, shading_buffer = 0;

// The face's corner k as it is drawn.
static model_vertex corner(const model_object& object, const model_face& face, int k,
                           const model_vec3& flat, const model_material* textured)
{
    model_vertex v;
    v.xyz = object.positions[(size_t)face.vert[k]];
    v.normal = face.normals ? face.normal[k] : flat;
    v.st[0] = v.st[1] = 0.0f;
    if (textured)
        corner_st(*textured, object.tverts[(size_t)face.tvert[k]], v.st);
    return v;
}

bool model_face_hidden(const model_object& object, const model_face& face)
{
    return !hidden_materials.empty() && hidden_materials.count(face_material(object, face)) > 0;
}

// Whether the game look may draw the batch stage by stage: its texture, if
// it names one, was found and its material reads as the game reads it.
static bool game_drawable(const model_batch& batch)
{
    return !batch.missing && !batch.hidden && game_material_drawable(batch.material);
}

// Whether any batch is; only then are the GLSL programs built and the maps
// sent to the GL.
static bool game_batches_present()
{
    return std::any_of(batches.begin(), batches.end(), game_drawable);
}

// A corner's vertex colour; its tangent frame comes later, from its batch's
// faces.
static shading_vertex shading_corner(const model_object& object, const model_face& face, int k)
{
    shading_vertex extra = {{0, 0, 0}, {0, 0, 0}, {255, 255, 255, 255}};
    model_vec3 color = vertex_color(object, face, k);
    const float channels[3] = {color.x, color.y, color.z};
    // As the games read them: each channel times 255, in a byte.
    for (int c = 0; c < 3; c++)
        extra.color[c] = (unsigned char)(channels[c] * 255.0f);
    return extra;
}

// The tangent frames of a lit batch's vertices, which no other batch
// shares: derived as the game derives them, vertices where mirrored
// texture coordinates meet split in two.
static void derive_batch_tangents(const model_batch& batch, std::vector<uint32_t>& local)
{
    std::vector<uint32_t> global;
    std::vector<model_vec3> positions, normals;
    std::vector<tangent_st> st;
    std::vector<uint32_t> corners;
    for (GLsizei i = 0; i < batch.count; i++) {
        GLuint index = indices[size_t(batch.first + i)];
        if (local[index] == UINT32_MAX) {
            local[index] = uint32_t(global.size());
            global.push_back(index);
            const model_vertex& v = vertices[index];
            positions.push_back(v.xyz);
            normals.push_back(v.normal);
            st.push_back({v.st[0], 1.0f - v.st[1]});  // the game's t runs down the picture
        }
        corners.push_back(local[index]);
    }
    for (GLuint index : global)
        local[index] = UINT32_MAX;
    std::optional<tangent_frames> frames = derive_tangents({positions, st, normals, true, corners});
    if (!frames)
        return;
    for (uint32_t copied : frames->copied_from) {
        global.push_back(GLuint(vertices.size()));
        vertices.push_back(vertices[global[copied]]);
        shading.push_back(shading[global[copied]]);
    }
    for (GLsizei i = 0; i < batch.count; i++)
        indices[size_t(batch.first + i)] = global[frames->corners[size_t(i)]];
    for (size_t k = 0; k < global.size(); k++) {
        shading_vertex& extra = shading[global[k]];
        const model_vec3& t = frames->tangents[k];
        const model_vec3& b = frames->bitangents[k];
        extra.tangent[0] = t.x, extra.tangent[1] = t.y, extra.tangent[2] = t.z;
        extra.bitangent[0] = b.x, extra.bitangent[1] = b.y, extra.bitangent[2] = b.z;
    }
}

static void derive_tangents()
{
    std::vector<uint32_t> local(vertices.size(), UINT32_MAX);
    for (const model_batch& batch : batches)
        if (game_drawable(batch) && game_material_lit(batch.material)) {
            local.resize(vertices.size(), UINT32_MAX);
            derive_batch_tangents(batch, local);
        }
}

// Each corner's vertex: the one its vertex number first made when the two
// agree to the bit (a smooth surface's corners mostly do), else a new one.
static void build_corners()
{
    std::vector<GLint> next;
    for (const model_batch& batch : batches)
        next.push_back(batch.first);
    size_t corners = batches.empty() ? 0 : (size_t)(batches.back().first + batches.back().count);
    reserve_in_huge_pages(&indices, corners);
    indices.resize(corners);
    // Corners are shared within a batch alone when the game look shades
    // them: tangents are summed over one material's faces.
    bool shaded = std::any_of(batches.begin(), batches.end(), [](const model_batch& batch) {
        return game_drawable(batch) &&
               (game_material_lit(batch.material) || game_material_uses_vertex_colors(batch.material));
    });
    std::vector<int> vertex_look;
    std::vector<bool> deforming;
    for (const model_batch& batch : batches)
        deforming.push_back(game_material_deforms(batch.material));
    deform_sources.assign(batches.size(), {});
    deform_outputs.assign(batches.size(), {});
    auto look = face_looks.cbegin();
    for (const model_object& object : model_objects) {
        std::vector<GLuint> first_made(object.positions.size(), UINT32_MAX);
        for (const model_face& face : object.faces) {
            if (!model_face_drawable(object, face))
                continue;
            const model_batch& batch = batches[(size_t)*look];
            const model_material* textured = batch.texture >= 0 ? face_material(object, face) : nullptr;
            const model_vec3* p[3];
            for (int k = 0; k < 3; k++)
                p[k] = &object.positions[(size_t)face.vert[k]];
            model_vec3 flat = face_normal(p);
            for (int k = 0; k < 3; k++) {
                model_vertex v = corner(object, face, k, flat, textured);
                shading_vertex extra = shaded ? shading_corner(object, face, k) : shading_vertex{};
                GLuint& made = first_made[(size_t)face.vert[k]];
                GLuint index = made;
                if (index == UINT32_MAX || memcmp(&vertices[index], &v, sizeof v) != 0 ||
                    (shaded && (vertex_look[index] != *look ||
                                memcmp(shading[index].color, extra.color, sizeof extra.color) != 0))) {
                    index = (GLuint)vertices.size();
                    vertices.push_back(v);
                    if (shaded) {
                        shading.push_back(extra);
                        vertex_look.push_back(*look);
                    }
                    if (made == UINT32_MAX)
                        made = index;
                }
                indices[(size_t)next[(size_t)*look]++] = index;
                if (deforming[(size_t)*look])
                    deform_sources[(size_t)*look].push_back({v.xyz, v.normal, {v.st[0], v.st[1]}});
            }
            ++look;
        }
    }
    std::vector<int>().swap(face_looks);
    if (shaded)
        derive_tangents();
    // The file's objects are all in the vertices now.
    reset_model_store();
}

// Also at exit: a fatal error during the dumps must not end the process
// under a thread that is still building.
static void wait_for_corners()
{
    if (corner_builder.joinable())
        corner_builder.join();
}

// Every place the textures' search looked, found or not, until watched: a
// texture put there later is shown.
static folder_listings searched;

// Sorts the model store's faces into batches, prints the summary, frames
// the model when asked and starts turning the store into vertices.
static void start_building(const char* model_path, bool frame)
{
    build_model_scene(model_path, &scene);
    // Without a texture the tree is looked at for nothing. The tree goes
    // with the scene below: its listings are all the watch needs of it.
    searched = scene.textures.empty() ? folder_listings{} : std::move(scene.tree->listings);
    hidden_materials.clear();
    for (const scene_look& look : scene.looks) {
        batches.push_back({look.texture, {look.color[0], look.color[1], look.color[2]}, 0, 0, look.missing,
                           look.hidden, look.drawn_material});
        if (look.hidden)
            hidden_materials.insert(look.material);
    }
    fputs(model_summary(scene, (int)model_objects.size(), (long long)scene.face_looks.size()).c_str(), stdout);
    face_looks.swap(scene.face_looks);
    for (int look : face_looks)
        batches[(size_t)look].count += 3;
    GLint first = 0;
    for (model_batch& batch : batches) {
        batch.first = first;
        first += batch.count;
    }
    take_scene_textures(scene);
    take_scene_materials(scene);
    describe_game_materials(&model_rules_line, &model_stage_lines);
    scene.reset();
    measure_model_scene(model_path, (long long)face_looks.size());
    // Every corner may make a vertex; what is not filled is never touched.
    reserve_in_huge_pages(&vertices, (size_t)first);
    // A model of no extent is seen as in the default view, not through the
    // framing of the one before.
    if (frame) {
        reset_fit_view();
        if (model_facts.measured)
            fit_view_to_scene(model_facts.lo, model_facts.hi);
    }
    // Registered once, however many files are shown.
    static const bool waits_at_exit = atexit(wait_for_corners) == 0;
    (void)waits_at_exit;
    corner_builder = std::thread(build_corners);
}

// The file shown.
static std::string shown_path;

void prepare_model_view(const char* model_path)
{
    model_look_init();
    shown_path = model_path;
    start_building(model_path, true);
    model_camera_reset();
}

// Uploads the array into a new buffer bound to `target`; false when the GL
// could not take it.
template <typename T> static bool upload(GLenum target, GLuint* buffer, std::vector<T>& data)
{
    // Only this upload's error counts.
    while (glGetError() != GL_NO_ERROR)
        continue;
    glGenBuffers(1, buffer);
    glBindBuffer(target, *buffer);
    glBufferData(target, (GLsizeiptr)(data.size() * sizeof(T)), data.data(), GL_STATIC_DRAW);
    glBindBuffer(target, 0);
    std::vector<T>().swap(data);
    return glGetError() == GL_NO_ERROR;
}

void init_model_scene()
{
    upload_model_textures();
    if (game_batches_present() && model_programs_ready())
        upload_game_maps();
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_DEPTH_TEST);
    // The light stands at the eye: placed while the modelview matrix is
    // still the identity, it keeps that place in eye space.
    const float eye[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    const float ambient[4] = {0.25f, 0.25f, 0.25f, 1.0f};
    const float none[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, eye);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_SPECULAR, none);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    // Both sides lit: exported faces are not always wound the same way.
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    // Each batch sets its material itself (show_look): a material that
    // followed the current colour would take the overlays' colours too.
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, none);
    glDisable(GL_COLOR_MATERIAL);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    // The smear stretches the model unevenly, and with it the normals.
    glEnable(GL_NORMALIZE);
    // Leaves and fences: texels mostly transparent are cut out.
    glAlphaFunc(GL_GEQUAL, 0.5f);
    glEnable(GL_ALPHA_TEST);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

// The watch's thread wakes the main loop, which watches no descriptor of
// ours, with an Expose event sent on a display connection of its own; the
// display handler then reads the file on the main thread, where the GL is.
static Display* wake_display = nullptr;
static Window wake_window = 0;
static std::atomic<bool> file_changed{false};

static void wake_main_loop()
{
    file_changed = true;
    XEvent expose = {};
    expose.xexpose.type = Expose;
    expose.xexpose.window = wake_window;
    XSendEvent(wake_display, wake_window, False, 0, &expose);
    XFlush(wake_display);
}

static void close_wake_display()
{
    stop_watching();
    XCloseDisplay(wake_display);
    wake_display = nullptr;
}

// Once the window is there to be woken; again after every read, even of the
// same names: a folder made anew under the same name needs a watch of its own.
static void watch_shown_file()
{
    std::vector<std::string> paths = model_texture_files();
    for (const std::string& file : game_map_files())
        if (std::find(paths.begin(), paths.end(), file) == paths.end())
            paths.push_back(file);
    paths.insert(paths.begin(), shown_path);
    if (wake_display == nullptr) {
        // The server that GLUT was told to use, -display included.
        wake_display = XOpenDisplay(DisplayString(glXGetCurrentDisplay()));
        if (wake_display == nullptr)
            return;
        wake_window = glXGetCurrentDrawable();
        atexit(close_wake_display);
    }
    watch_model_files(paths, wake_main_loop, std::exchange(searched, {}));
}

void finish_model_scene()
{
    wait_for_corners();
    if (!upload(GL_ARRAY_BUFFER, &vertex_buffer, vertices) ||
        !upload(GL_ELEMENT_ARRAY_BUFFER, &index_buffer, indices) ||
        (!shading.empty() && !upload(GL_ARRAY_BUFFER, &shading_buffer, shading)))
        batches.clear();
    watch_shown_file();
}

// Puts the file in the current model's place; `fresh` frames it anew and
// names the window after it. False, with the picture kept and a line on the
// console saying why, when it does not read as a model.
static bool show_file(const std::string& path, bool fresh, const char* failure)
{
    wait_for_corners();
    std::string why;
    if (!read_model_file(path, &why)) {
        printf("%s: %s: %s\n", failure, path.c_str(), why.c_str());
        return false;
    }
    printf("Loading file %s\n", path.c_str());
    reset_model_textures();
    reset_game_maps();
    glDeleteBuffers(1, &vertex_buffer);
    glDeleteBuffers(1, &index_buffer);
    glDeleteBuffers(1, &shading_buffer);
    vertex_buffer = index_buffer = shading_buffer = 0;
    batches.clear();
    shown_path = path;
    start_building(path.c_str(), fresh);
    upload_model_textures();
    if (game_batches_present() && model_programs_ready())
        upload_game_maps();
    finish_model_scene();
    if (fresh) {
        glutSetWindowTitle(model_window_title(path).c_str());
        model_camera_reset();
    }
    return true;
}

void model_view_step(int step)
{
    for (const std::string& path : models_from(shown_path, step))
        if (show_file(path, true, "skipped")) {
            glutPostRedisplay();
            return;
        }
}

void model_view_reload()
{
    if (show_file(shown_path, false, "reload failed"))
        glutPostRedisplay();
}

// A change that the watch reported is shown in this frame.
static void take_file_change()
{
    if (file_changed.exchange(false))
        show_file(shown_path, false, "reload failed");
}

static void show_look(const model_batch& batch)
{
    if (batch.texture >= 0) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, model_textures[(size_t)batch.texture].id);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
    const float material[4] = {batch.color[0], batch.color[1], batch.color[2], 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, material);
}

// Whether the batch is drawn stage by stage now.
static bool in_game_look(const model_batch& batch)
{
    return model_game_look && game_drawable(batch) && model_programs_ready();
}

// The tangents and vertex colours beside the corners, for the game look.
static void bind_shading()
{
    if (shading_buffer == 0) {
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        return;
    }
    glBindBuffer(GL_ARRAY_BUFFER, shading_buffer);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(shading_vertex), (const void*)offsetof(shading_vertex, color));
    glVertexAttribPointer(tangent_attribute, 3, GL_FLOAT, GL_FALSE, sizeof(shading_vertex),
                          (const void*)offsetof(shading_vertex, tangent));
    glVertexAttribPointer(bitangent_attribute, 3, GL_FLOAT, GL_FALSE, sizeof(shading_vertex),
                          (const void*)offsetof(shading_vertex, bitangent));
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableVertexAttribArray(tangent_attribute);
    glEnableVertexAttribArray(bitangent_attribute);
    glBindBuffer(GL_ARRAY_BUFFER, vertex_buffer);
}

static void unbind_shading()
{
    if (shading_buffer == 0)
        return;
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableVertexAttribArray(tangent_attribute);
    glDisableVertexAttribArray(bitangent_attribute);
}

// An animated material is drawn again at most 60 times a second, and not
// at all while the clock is paused.
static bool animation_pending = false;

static void animation_tick(int)
{
    animation_pending = false;
    glutPostRedisplay();
}

static void schedule_animation(const std::vector<game_batch>& drawn)
{
    if (animation_pending || model_clock_paused() || !game_look_animated(drawn))
        return;
    animation_pending = true;
    glutTimerFunc(17, animation_tick, 0);
}

// The batches shown, each in its look; or only those whose texture was not
// found, or only the hidden ones, in the colour and state set by the caller.
static void draw_batches(model_batches which)
{
    glBindBuffer(GL_ARRAY_BUFFER, vertex_buffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, index_buffer);
    glVertexPointer(3, GL_FLOAT, sizeof(model_vertex), (const void*)offsetof(model_vertex, xyz));
    glNormalPointer(GL_FLOAT, sizeof(model_vertex), (const void*)offsetof(model_vertex, normal));
    glTexCoordPointer(2, GL_FLOAT, sizeof(model_vertex), (const void*)offsetof(model_vertex, st));
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    std::vector<game_batch> game;
    for (const model_batch& batch : batches) {
        bool drawn = which == model_batches::shown    ? !batch.hidden
                     : which == model_batches::missing ? batch.missing
                                                       : batch.hidden;
        if (!drawn)
            continue;
        if (which == model_batches::shown && in_game_look(batch)) {
            size_t i = size_t(&batch - batches.data());
            bool deformed = i < deform_sources.size() && !deform_sources[i].empty();
            game.push_back({batch.first, batch.count, batch.material, deformed ? &deform_sources[i] : nullptr,
                            deformed ? &deform_outputs[i] : nullptr});
            continue;
        }
        if (which == model_batches::shown)
            show_look(batch);
        glDrawElements(GL_TRIANGLES, batch.count, GL_UNSIGNED_INT,
                       (const void*)((size_t)batch.first * sizeof(GLuint)));
    }
    if (!game.empty()) {
        bind_shading();
        draw_game_batches(game, model_clock_seconds());
        unbind_shading();
        schedule_animation(game);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void model_display_handler()
{
    take_file_change();
    draw_model_frame(draw_batches);
}
