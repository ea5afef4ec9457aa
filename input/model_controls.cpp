// The model view's handlers: each key, menu entry and drag changes the
// camera's or the overlays' state and asks for a frame.
#include "input/model_controls.h"

#include <GL/glut.h>

#include <cstdlib>
#include <string>

#include "render/model_camera.h"
#include "render/model_look.h"
#include "render/model_overlay.h"
#include "render/render.h"

using enum model_command;

extern "C" __attribute__((weak)) void __lsan_do_leak_check();

// GLUT reports the wheel as buttons 3 (up) and 4 (down).
static const int wheel_up = 3, wheel_down = 4;
static const double spin_degrees_per_second = 30.0;

static enum { no_drag, turning, panning } drag = no_drag;
static int drag_button, drag_x, drag_y;
static model_camera_state drag_from;

static bool spinning = false;
static int spun_at_ms = 0;
static bool full_screen = false;
static int windowed[4];  // x, y, width, height before full screen
static bool flat_shading = false;

static void spin_idle()
{
    int now = glutGet(GLUT_ELAPSED_TIME);
    model_camera_spin(spin_degrees_per_second * (now - spun_at_ms) / 1000.0);
    spun_at_ms = now;
    glutPostRedisplay();
}

static void toggle_full_screen()
{
    full_screen = !full_screen;
    if (full_screen) {
        windowed[0] = glutGet(GLUT_WINDOW_X);
        windowed[1] = glutGet(GLUT_WINDOW_Y);
        windowed[2] = glutGet(GLUT_WINDOW_WIDTH);
        windowed[3] = glutGet(GLUT_WINDOW_HEIGHT);
        glutFullScreen();
    } else {
        glutReshapeWindow(windowed[2], windowed[3]);
        glutPositionWindow(windowed[0], windowed[1]);
    }
}

// Where each preset view looks from: azimuth and elevation in degrees.
static void look_from_preset(model_command view)
{
    static const struct {
        model_command view;
        double azimuth, elevation;
    } presets[] = {{front_view, 0, 0},  {right_view, 90, 0}, {top_view, 0, 90},
                   {back_view, 180, 0}, {left_view, -90, 0}, {bottom_view, 0, -90}};
    for (const auto& preset : presets)
        if (preset.view == view)
            model_camera_look_from(preset.azimuth, preset.elevation);
}

void run_model_command(model_command command)
{
    switch (command) {
    case first_view:
        model_camera_reset();
        break;
    case front_view:
    case right_view:
    case top_view:
    case back_view:
    case left_view:
    case bottom_view:
        look_from_preset(command);
        break;
    case projection_toggle:
        model_camera.orthographic = !model_camera.orthographic;
        break;
    case spin_toggle:
        spinning = !spinning;
        spun_at_ms = glutGet(GLUT_ELAPSED_TIME);
        // Unregistered while nothing turns: the main loop then sleeps.
        glutIdleFunc(spinning ? spin_idle : nullptr);
        break;
    case wireframe_toggle:
        model_wireframe = !model_wireframe;
        break;
    case shading_toggle:
        flat_shading = !flat_shading;
        glShadeModel(flat_shading ? GL_FLAT : GL_SMOOTH);
        break;
    case help_toggle:
        model_help_shown = !model_help_shown;
        break;
    case info_toggle:
        model_info_shown = !model_info_shown;
        break;
    case grid_toggle:
        model_grid_shown = !model_grid_shown;
        break;
    case marks_toggle:
        model_marks_shown = !model_marks_shown;
        break;
    case hidden_toggle:
        model_hidden_shown = !model_hidden_shown;
        break;
    case look_toggle:
        return model_look_toggle();
    case clock_toggle:
        return model_clock_toggle();
    case next_model:
        model_view_step(1);
        break;
    case previous_model:
        model_view_step(-1);
        break;
    case reload_model:
        model_view_reload();
        break;
    case full_screen_toggle:
        toggle_full_screen();
        break;
    case screenshot:
        model_screenshot_request();
        return;
    case leave:
        if (full_screen) {
            toggle_full_screen();
            break;
        }
        [[fallthrough]];
    case quit:
        // A sanitized build checks for leaks now, while the GL driver is
        // loaded: at exit it unloads, and what it keeps would lose the names
        // that the suppressions go by.
        if (__lsan_do_leak_check)
            __lsan_do_leak_check();
        exit(0);
    case no_command:
        return;
    }
    glutPostRedisplay();
}

static void menu_chosen(int value)
{
    run_model_command((model_command)value);
}

static void model_keyboard(unsigned char key, int, int)
{
    bool ctrl = glutGetModifiers() & GLUT_ACTIVE_CTRL;
    // With Ctrl, X turns 3 into Escape's code and 7 into 31.
    if (ctrl && (key == '1' || key == '3' || key == 27 || key == '7' || key == 31)) {
        run_model_command(key == '1'                ? back_view
                          : key == '7' || key == 31 ? bottom_view
                                                    : left_view);
        return;
    }
    switch (key) {
    case '1':
        return run_model_command(front_view);
    case '3':
        return run_model_command(right_view);
    case '7':
        return run_model_command(top_view);
    case '5':
        return run_model_command(projection_toggle);
    case 'f':
        return run_model_command(spin_toggle);
    case 'w':
        return run_model_command(wireframe_toggle);
    case 's':
        return run_model_command(shading_toggle);
    case 'h':
        return run_model_command(help_toggle);
    case 'i':
        return run_model_command(info_toggle);
    case 'g':
        return run_model_command(grid_toggle);
    case 'm':
        return run_model_command(marks_toggle);
    case 'c':
        return run_model_command(hidden_toggle);
    case 'l':
        return run_model_command(look_toggle);
    case ' ':
        return run_model_command(clock_toggle);
    case 'q':
        return run_model_command(quit);
    case 27:
        return run_model_command(leave);
    }
}

static void model_special(int key, int, int)
{
    switch (key) {
    case GLUT_KEY_HOME:
        return run_model_command(first_view);
    case GLUT_KEY_F1:
        return run_model_command(help_toggle);
    case GLUT_KEY_PAGE_DOWN:
    case GLUT_KEY_RIGHT:
        return run_model_command(next_model);
    case GLUT_KEY_PAGE_UP:
    case GLUT_KEY_LEFT:
        return run_model_command(previous_model);
    case GLUT_KEY_F5:
        return run_model_command(reload_model);
    case GLUT_KEY_F11:
        return run_model_command(full_screen_toggle);
    case GLUT_KEY_F12:
        return run_model_command(screenshot);
    }
}

static void model_mouse(int button, int state, int x, int y)
{
    if (button == wheel_up || button == wheel_down) {
        if (state == GLUT_DOWN) {
            model_camera_zoom(button == wheel_up ? 1 : -1);
            glutPostRedisplay();
        }
        return;
    }
    if (state == GLUT_UP) {
        if (button == drag_button)
            drag = no_drag;
        return;
    }
    if (button != GLUT_LEFT_BUTTON && button != GLUT_MIDDLE_BUTTON)
        return;
    // Shift+left stands in for the middle button on two-button mice.
    bool pan = button == GLUT_MIDDLE_BUTTON || (glutGetModifiers() & GLUT_ACTIVE_SHIFT);
    drag = pan ? panning : turning;
    drag_button = button;
    drag_x = x;
    drag_y = y;
    drag_from = model_camera;
}

static void model_motion(int x, int y)
{
    if (drag == no_drag)
        return;
    if (drag == turning)
        model_camera_turn(drag_from, x - drag_x, y - drag_y);
    else
        model_camera_pan(drag_from, x - drag_x, y - drag_y);
    glutPostRedisplay();
}

void register_model_controls()
{
    glutMouseFunc(model_mouse);
    glutMotionFunc(model_motion);
    glutKeyboardFunc(model_keyboard);
    glutSpecialFunc(model_special);
    glutIdleFunc(nullptr);
    glutCreateMenu(menu_chosen);
    for (size_t i = 0; i < model_key_count; i++)
        if (model_keys[i].command != no_command)
            glutAddMenuEntry(
                (std::string(model_keys[i].what) + "  (" + model_keys[i].keys + ")").c_str(),
                (int)model_keys[i].command);
    glutAttachMenu(GLUT_RIGHT_BUTTON);
}
