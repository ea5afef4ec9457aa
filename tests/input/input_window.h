// Test support for the input handlers: the shared GLUT test window with a
// display func that counts frames, and synthetic X input delivered to it, so
// that GLUT itself calls the registered handlers.
#pragma once
#include <gtest/gtest.h>
// After gtest: X defines macros such as None that clash with its names.
#include <X11/X.h>

extern int frames_drawn;

// Opens the window, installs the counting display func and waits (bounded)
// until the window is shown and has drawn its first frame.
void open_input_window();
// Runs the event loop until nothing more is drawn, then zeroes frames_drawn.
void drain_redraws();
// Lets GLUT deliver everything pending; returns the frames drawn since the last drain.
int frames_after_pump();

// Button is the X button number (1 left, 2 middle); modifiers an X state mask.
void send_button(unsigned int button, bool press, int x, int y, unsigned int modifiers);
// Pointer motion with the given X state mask (a button mask makes it a drag).
void send_motion(int x, int y, unsigned int modifiers);
void send_key(unsigned long keysym);

// Every view-state variable, for before/after comparisons.
struct ViewSnapshot {
    int window_width, window_height;
    float smear_x, smear_y, scale_x, scale_y, view_yaw, view_pitch, spin_yaw, spin_pitch;
    int last_mouse_x, last_mouse_y;
    int rotation_mode, free_rotate, smear_x_on, smear_y_on, wire_mode, smooth_shading;
    bool operator==(const ViewSnapshot&) const = default;
};
ViewSnapshot view_snapshot();

// Start values for the view state, then these one-letter commands given and
// their redraws drained.
void start_with(const char* keys);
// Start values for the view state, the GL state that scene set-up and the
// first reshape leave behind, and no redraw pending.
void restore_start_state();

// The window with the input handlers registered, in its start state.
class InputTest : public ::testing::Test {
protected:
    void SetUp() override;
};
