// The model view's overlays and the frame that holds them. What the panels
// say is put together once a model is read; a frame only draws it.
#include "render/model_overlay.h"

#include <GL/gl.h>
#include <GL/glut.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "mesh/model.h"
#include "render/model_camera.h"
#include "render/model_look.h"
#include "render/render.h"

using enum model_command;

model_scene_facts model_facts;
bool model_help_shown = false, model_info_shown = false, model_grid_shown = false,
     model_marks_shown = false, model_hidden_shown = false, model_wireframe = false;

const model_key model_keys[] = {
    {"left drag", "turn (across), tilt (up, down)", no_command},
    {"Shift+left drag, middle drag", "pan", no_command},
    {"wheel", "zoom (up: closer)", no_command},
    {"right button", "menu", no_command},
    {"Home", "first view", first_view},
    {"1", "front view", front_view},
    {"3", "right view", right_view},
    {"7", "top view", top_view},
    {"Ctrl+1", "back view", back_view},
    {"Ctrl+3", "left view", left_view},
    {"Ctrl+7", "bottom view", bottom_view},
    {"5", "perspective or orthographic", projection_toggle},
    {"f", "spin on or off", spin_toggle},
    {"w", "wireframe on or off", wireframe_toggle},
    {"s", "smooth or flat shading", shading_toggle},
    {"h, F1", "help on or off", help_toggle},
    {"i", "information on or off", info_toggle},
    {"g", "grid on or off", grid_toggle},
    {"m", "missing textures marked on or off", marks_toggle},
    {"c", "surfaces never drawn by the game shown or hidden", hidden_toggle},
    {"l", "game or editor look", look_toggle},
    {"space", "material clock paused or running", clock_toggle},
    {"Page Down, Right", "next model of the folder", next_model},
    {"Page Up, Left", "previous model of the folder", previous_model},
    {"F5", "reload the model", reload_model},
    {"F11", "full screen on or off", full_screen_toggle},
    {"F12", "screenshot", screenshot},
    {"q", "quit, also in full screen", quit},
    {"Escape", "leave full screen; windowed, quit", leave},
};
const size_t model_key_count = std::size(model_keys);

// A panel's line: white text, then red text.
struct panel_line {
    std::string text, red;
};
static std::vector<panel_line> info_lines;

static void* const font = GLUT_BITMAP_8_BY_13;
static const int line_height = 14, margin = 10, padding = 6;

// Sizes as "%g" gives them, with more digits.
static std::string number(double value)
{
    char text[32];
    snprintf(text, sizeof text, "%.6g", value);
    return text;
}

static void write_info_lines()
{
    const model_scene_facts& s = model_facts;
    size_t slash = s.path.rfind('/');
    info_lines = {{s.path.substr(slash == std::string::npos ? 0 : slash + 1), ""}};
    info_lines.push_back({std::to_string(s.objects) + " objects, " + std::to_string(s.faces) +
                              " faces, " + std::to_string(s.vertices) + " vertices, " +
                              std::to_string(s.materials) + " materials",
                          ""});
    std::string size = "size: ";
    for (int a = 0; a < 3; a++)
        size += std::string(a ? "  " : "") + "XYZ"[a] + " " +
                (s.measured ? number(s.hi[a] - s.lo[a]) : "-");
    info_lines.push_back({size, ""});
    for (const model_texture& texture : model_textures)
        info_lines.push_back({texture.name + "  " + (texture.found ? texture.where : ""),
                              texture.found         ? ""
                              : texture.never_drawn ? "hidden: never drawn"
                                                    : "not found"});
}

std::vector<std::string> model_look_info_lines()
{
    std::vector<std::string> lines = {model_game_look ? "look: game" : "look: editor"};
    if (model_clock_paused()) {
        char clock[64];
        snprintf(clock, sizeof clock, "clock: paused at %.2f s", model_clock_seconds());
        lines.push_back(clock);
    }
    if (!model_rules_line.empty())
        lines.push_back(model_rules_line);
    size_t stages = std::min(model_stage_lines.size(), max_stage_lines);
    lines.insert(lines.end(), model_stage_lines.begin(), model_stage_lines.begin() + (ptrdiff_t)stages);
    if (stages < model_stage_lines.size())
        lines.push_back("... " + std::to_string(model_stage_lines.size() - stages) + " more");
    return lines;
}

// The grid's step suits the model's size: 8, 16 or 64 units, and for a
// model too large for 512 lines of 64 units, 64 times a power of 8.
static void place_grid(model_scene_facts* s)
{
    double size = std::fmax(s->hi[0] - s->lo[0], s->hi[1] - s->lo[1]);
    double step = size <= 128 ? 8 : size <= 512 ? 16 : 64;
    while (size / step > 512)
        step *= 8;
    s->grid_step = step;
    s->grid[0] = (std::floor(s->lo[0] / step) - 1) * step;
    s->grid[1] = (std::floor(s->lo[1] / step) - 1) * step;
    s->grid[2] = (std::ceil(s->hi[0] / step) + 1) * step;
    s->grid[3] = (std::ceil(s->hi[1] / step) + 1) * step;
    double far[3];
    for (int a = 0; a < 3; a++) {
        double c = s->lo[a] / 2 + s->hi[a] / 2;
        double lo = a < 2 ? s->grid[a] : s->lo[a], hi = a < 2 ? s->grid[a + 2] : s->hi[a];
        far[a] = std::fmax(c - lo, hi - c);
    }
    s->reach = std::sqrt(far[0] * far[0] + far[1] * far[1] + far[2] * far[2]);
}

void measure_model_scene(const char* model_path, long long faces)
{
    model_scene_facts s = {};
    s.path = model_path;
    s.objects = (int)model_objects.size();
    s.faces = faces;
    s.materials = model_materials.size();
    for (const model_object& object : model_objects)
        s.vertices += object.positions.size();
    s.measured = scene_box(s.lo, s.hi);
    if (s.measured)
        place_grid(&s);
    model_facts = s;
    write_info_lines();
}

static void draw_grid()
{
    const model_scene_facts& s = model_facts;
    if (!s.measured)
        return;
    const double x0 = s.grid[0], y0 = s.grid[1], x1 = s.grid[2], y1 = s.grid[3], z = s.lo[2];
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_LINE_BIT | GL_LIGHTING_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LINE_SMOOTH);
    // The axes first: the grid's lines on them then fail the depth test.
    glLineWidth(2.0f);
    glBegin(GL_LINES);
    if (y0 <= 0 && 0 <= y1) {
        glColor3f(1.0f, 0.0f, 0.0f);
        glVertex3d(x0, 0.0, z);
        glVertex3d(x1, 0.0, z);
    }
    if (x0 <= 0 && 0 <= x1) {
        glColor3f(0.0f, 1.0f, 0.0f);
        glVertex3d(0.0, y0, z);
        glVertex3d(0.0, y1, z);
    }
    glEnd();
    glLineWidth(1.0f);
    glColor3f(0.55f, 0.55f, 0.55f);
    glBegin(GL_LINES);
    for (double x = x0; x <= x1; x += s.grid_step) {
        glVertex3d(x, y0, z);
        glVertex3d(x, y1, z);
    }
    for (double y = y0; y <= y1; y += s.grid_step) {
        glVertex3d(x0, y, z);
        glVertex3d(x1, y, z);
    }
    glEnd();
    glPopAttrib();
}

// Squares of 4 pixels, every other one set, as a polygon stipple.
static const std::array<GLubyte, 128> checker = [] {
    std::array<GLubyte, 128> rows{};
    for (int y = 0; y < 32; y++)
        for (int byte = 0; byte < 4; byte++)
            rows[(size_t)(y * 4 + byte)] = y / 4 % 2 ? 0x0f : 0xf0;
    return rows;
}();

// The faces again, only where the checker is set, in magenta: the rest keep
// their colour.
static void draw_marks(void (*draw_batches)(model_batches which))
{
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_DEPTH_BUFFER_BIT | GL_POLYGON_STIPPLE_BIT |
                 GL_LIGHTING_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_POLYGON_STIPPLE);
    glPolygonStipple(checker.data());
    glDepthFunc(GL_LEQUAL);
    glColor3f(1.0f, 0.0f, 1.0f);
    draw_batches(model_batches::missing);
    glPopAttrib();
}

// The hidden faces in translucent orange with their edges in solid orange,
// a colour no lit surface of the model takes without a texture: seen
// through, and not mistaken for what the game draws.
static void draw_hidden(void (*draw_batches)(model_batches which))
{
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT |
                 GL_POLYGON_BIT | GL_LINE_BIT | GL_LIGHTING_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_LINE_SMOOTH);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glColor4f(1.0f, 0.5f, 0.0f, 0.5f);
    draw_batches(model_batches::hidden);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glLineWidth(1.0f);
    glColor4f(1.0f, 0.5f, 0.0f, 1.0f);
    draw_batches(model_batches::hidden);
    glPopAttrib();
}

static int text_width(const std::string& text)
{
    return glutBitmapLength(font, (const unsigned char*)text.c_str());
}

static void draw_text(int x, int y, const std::string& text)
{
    glRasterPos2i(x, y);
    for (char c : text)
        glutBitmapCharacter(font, (unsigned char)c);
}

// The lines on a dark panel at the window's left, from `top` down; lines
// beyond the window's bottom are counted on the last. Where the next panel
// may begin.
static int draw_panel(const std::vector<panel_line>& all, int top, int width)
{
    int room = (top - margin - 2 * padding) / line_height;
    if (room < 1 || all.empty())
        return top;
    size_t shown = all.size() <= (size_t)room ? all.size() : (size_t)room - 1;
    std::vector<panel_line> lines(all.begin(), all.begin() + (ptrdiff_t)shown);
    if (shown < all.size())
        lines.push_back({"... " + std::to_string(all.size() - shown) + " more", ""});
    // Cut where the window ends: a name of any length costs no more than a
    // window's width of characters (the font's are all of one width).
    size_t columns = (size_t)std::max(1, width / glutBitmapWidth(font, 'M') + 1);
    for (panel_line& line : lines) {
        line.text.resize(std::min(line.text.size(), columns));
        line.red.resize(std::min(line.red.size(), columns - line.text.size()));
    }
    int inner = 0;
    for (const panel_line& line : lines)
        inner = std::max(inner, text_width(line.text) + text_width(line.red));
    int bottom = top - (int)lines.size() * line_height - 2 * padding;
    glColor4f(0.0f, 0.0f, 0.0f, 0.65f);
    glRecti(margin, bottom, margin + inner + 2 * padding, top);
    int y = top - padding;
    for (const panel_line& line : lines) {
        y -= line_height;
        glColor3f(1.0f, 1.0f, 1.0f);
        draw_text(margin + padding, y + 4, line.text);
        if (!line.red.empty()) {
            glColor3f(1.0f, 0.2f, 0.2f);
            draw_text(margin + padding + text_width(line.text), y + 4, line.red);
        }
    }
    return bottom - margin;
}

static std::vector<panel_line> help_lines()
{
    std::vector<panel_line> lines;
    for (const model_key& key : model_keys) {
        std::string keys = key.keys;
        keys.resize(std::max<size_t>(keys.size() + 2, 30), ' ');
        lines.push_back({keys + key.what, ""});
    }
    return lines;
}

static void draw_panels(int width, int height)
{
    static const std::vector<panel_line> help = help_lines();
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT | GL_POLYGON_BIT |
                 GL_LIGHTING_BIT | GL_TRANSFORM_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_ALPHA_TEST);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    int top = height - margin;
    if (model_help_shown)
        top = draw_panel(help, top, width);
    if (model_info_shown) {
        // The look and the clock change between frames; the model's lines
        // only with the model.
        std::vector<panel_line> info = info_lines;
        for (std::string& line : model_look_info_lines())
            info.push_back({std::move(line), ""});
        draw_panel(info, top, width);
    }
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib();
}

// What the model's own drawing relies on, set every frame rather than
// trusted to have been left so; the wireframe's lines are smoothed.
static void set_model_state()
{
    glEnable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    glEnable(GL_ALPHA_TEST);
    glDisable(GL_POLYGON_STIPPLE);
    glLineWidth(1.0f);
    glPolygonMode(GL_FRONT_AND_BACK, model_wireframe ? GL_LINE : GL_FILL);
    if (model_wireframe) {
        glEnable(GL_LINE_SMOOTH);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    } else {
        glDisable(GL_LINE_SMOOTH);
        glDisable(GL_BLEND);
    }
}

void draw_model_frame(void (*draw_batches)(model_batches which))
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    model_camera_apply();
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT | GL_POLYGON_BIT |
                 GL_LINE_BIT);
    set_model_state();
    draw_batches(model_batches::shown);
    if (model_marks_shown)
        draw_marks(draw_batches);
    glPopAttrib();
    if (model_hidden_shown)
        draw_hidden(draw_batches);
    if (model_grid_shown)
        draw_grid();
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (model_help_shown || model_info_shown)
        draw_panels(viewport[2], viewport[3]);
    take_requested_screenshot(viewport[2], viewport[3]);
    glutSwapBuffers();
}
