#include "tests/input/input_window.h"

#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

#include "input/input.h"
#include "render/render.h"
#include "tests/support/glut_window.h"

int frames_drawn = 0;

// One round trip so that every event the server owes us is queued, then one GLUT round.
static void pump_once()
{
    XSync(glXGetCurrentDisplay(), False);
    glutMainLoopEvent();
}

void open_input_window()
{
    open_test_window();
    glutDisplayFunc([] { frames_drawn++; });
    glutPostRedisplay();
    for (int i = 0; i < 500 && frames_drawn == 0; i++)
        pump_once();
    ASSERT_GT(frames_drawn, 0) << "the test window never drew a frame";
    drain_redraws();
}

void drain_redraws()
{
    int before, rounds = 0;
    do {
        before = frames_drawn;
        pump_once();
        pump_once();
    } while (frames_drawn != before && ++rounds < 100);
    ASSERT_LT(rounds, 100) << "redraws never stopped";
    frames_drawn = 0;
}

int frames_after_pump()
{
    pump_once();
    pump_once();
    return frames_drawn;
}

// Key, button and motion events share these fields' layout.
static XEvent window_event(int type, int x, int y, unsigned int state)
{
    Display* display = glXGetCurrentDisplay();
    XEvent event = {};
    event.xbutton.type = type;
    event.xbutton.display = display;
    event.xbutton.window = glXGetCurrentDrawable();
    event.xbutton.root = DefaultRootWindow(display);
    event.xbutton.time = CurrentTime;
    event.xbutton.x = x;
    event.xbutton.y = y;
    event.xbutton.state = state;
    event.xbutton.same_screen = True;
    return event;
}

static void send(XEvent event, long mask)
{
    XSendEvent(glXGetCurrentDisplay(), event.xany.window, False, mask, &event);
    pump_once();
}

void send_button(unsigned int button, bool press, int x, int y, unsigned int modifiers)
{
    XEvent event = window_event(press ? ButtonPress : ButtonRelease, x, y, modifiers);
    event.xbutton.button = button;
    send(event, press ? ButtonPressMask : ButtonReleaseMask);
}

void send_motion(int x, int y, unsigned int modifiers)
{
    XEvent event = window_event(MotionNotify, x, y, modifiers);
    event.xmotion.is_hint = NotifyNormal;
    send(event, PointerMotionMask | ButtonMotionMask);
}

void send_key(unsigned long keysym)
{
    XEvent event = window_event(KeyPress, 0, 0, 0);
    event.xkey.keycode = XKeysymToKeycode(glXGetCurrentDisplay(), keysym);
    send(event, KeyPressMask);
}

ViewSnapshot view_snapshot()
{
    return {window_width, window_height, smear_x, smear_y, scale_x, scale_y, view_yaw, view_pitch,
            spin_yaw, spin_pitch, last_mouse_x, last_mouse_y, rotation_mode, free_rotate,
            smear_x_on, smear_y_on, wire_mode, smooth_shading};
}

void start_with(const char* keys)
{
    reset_view_state();
    for (; *keys; keys++)
        keyboard_handler(*keys, 0, 0);
    drain_redraws();
}

void restore_start_state()
{
    reset_view_state();
    glShadeModel(GL_SMOOTH);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_POLYGON_SMOOTH);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glHint(GL_LINE_SMOOTH_HINT, GL_DONT_CARE);
    glLineWidth(1.0f);
    glBlendFunc(GL_ONE, GL_ZERO);
    reshape_handler(window_width, window_height);
    drain_redraws();
}

void InputTest::SetUp()
{
    open_input_window();
    register_input_handlers();
    restore_start_state();
}
