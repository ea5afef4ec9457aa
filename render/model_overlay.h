// What the model view draws besides the model: the grid, the checker on
// faces whose texture was not found, the faces hidden as never drawn by the
// game, the help and information panels; and
// the frame that holds them, saved as a screenshot when asked.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// The model as measured once it is read: the information panel's figures
// and the grid's place.
struct model_scene_facts {
    std::string path;
    int objects;
    long long faces;  // drawn
    size_t vertices;  // in the file
    size_t materials;
    bool measured;        // a drawn corner with finite coordinates was seen
    double lo[3], hi[3];  // the box of the drawn corners
    double grid_step;
    double grid[4];  // x0, y0, x1, y1 on the box's lowest Z
    double reach;    // from the box's centre to the farthest point drawn
};
extern model_scene_facts model_facts;

// Measures the model store's scene, of which `faces` are drawn; after the
// textures were looked for.
void measure_model_scene(const char* model_path, long long faces);

extern bool model_help_shown, model_info_shown, model_grid_shown, model_marks_shown;
extern bool model_hidden_shown, model_wireframe;

// Which of the model's batches a call draws.
enum class model_batches { shown, missing, hidden };
// Draws a frame with the camera: the batches shown in their looks, the
// faces whose texture was not found again with a checker, the hidden ones
// tinted, the grid and the panels; saves it when a screenshot was asked
// for, and presents it. Each overlay leaves the GL state as it found it.
void draw_model_frame(void (*draw_batches)(model_batches which));

// Saves the next frame as "<model>.png" (or "<model>-N.png", never over a
// file) in $XDG_PICTURES_DIR, else ~/Pictures, else the working folder.
void model_screenshot_request();
// The frame in the back buffer, when one was asked for; prints
// "screenshot: PATH".
void take_requested_screenshot(int width, int height);

// What the model view's keys and menu do.
enum class model_command {
    no_command,
    first_view,
    front_view,
    right_view,
    top_view,
    back_view,
    left_view,
    bottom_view,
    projection_toggle,
    spin_toggle,
    wireframe_toggle,
    shading_toggle,
    help_toggle,
    info_toggle,
    grid_toggle,
    marks_toggle,
    hidden_toggle,
    look_toggle,
    clock_toggle,
    next_model,
    previous_model,
    reload_model,
    full_screen_toggle,
    screenshot,
    quit,
    leave,  // leaves full screen, or quits when windowed
};

// The information panel's lines below the model's: the look, the clock
// when paused, the materials' rules and their stages, at most
// max_stage_lines of those and then how many more there are.
std::vector<std::string> model_look_info_lines();
constexpr size_t max_stage_lines = 12;

// A line of the help: the keys or the mouse's action, what it does, and
// the command (no_command: not in the menu).
struct model_key {
    const char* keys;
    const char* what;
    model_command command;
};
extern const model_key model_keys[];
extern const size_t model_key_count;
