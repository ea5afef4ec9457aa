// When a window presents a frame, seen through the X Damage extension: a
// frame is presented when the damage to the window since the last one spans
// the part of the window on the screen, as a buffer swap's does (the server
// reports no damage off the screen; a window covered by another one, under a
// window manager that does not composite, may never count a frame, unless
// it is redirected to storage of its own). A freshly
// mapped window of freeglut's adds none: its background is None, so mapping
// draws nothing.
#pragma once
#include <sys/types.h>

#include <chrono>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/driver/window_owner.h"

struct _XDisplay;

class FrameWatch {
public:
    using Clock = std::chrono::steady_clock;

    // Watches the top-level windows of that title that are created on the
    // display from now on, so it must come before the program starts: its
    // first frame may follow soon after its window appears. A Damage is made
    // for each new window as it is created, which is in time, as a GL program
    // makes several round trips between creating its window and its first
    // swap. False when the display lacks the Damage extension.
    // With own_pixels, the window is redirected (Composite) as soon as it is
    // seen.
    bool start(_XDisplay* display, const std::string& title, bool own_pixels = false);
    // Only windows made by this process or its descendants count, where the
    // server tells who made a window.
    void watch_program(pid_t pid) { program_ = pid; }
    // Handles what the server has reported so far; with `wait_ms`, first
    // waits that long at most for a report.
    void take_events(int wait_ms = 0);
    // Takes every report of what the server did before this call.
    void catch_up();

    int frames() const { return frames_; }  // presented so far
    Clock::time_point last_frame_at() const { return last_frame_at_; }
    unsigned long window() const { return window_; }  // 0 until seen

    // Sends the window an Expose, which makes a GLUT program draw a frame. It
    // comes after every event the server gave the program before it, input
    // included.
    void ask_for_a_frame(unsigned long window, int width, int height);

private:
    bool is_watched(unsigned long window);
    void keep_own_pixels(unsigned long window);

    _XDisplay* display_ = nullptr;
    std::string title_;
    pid_t program_ = 0;
    WindowOwners owners_;
    int damage_event_ = 0;
    bool composite_ = false;  // the watched window is to be redirected, and can be
    int screen_width_ = 0, screen_height_ = 0;
    unsigned long window_ = 0;
    int frames_ = 0;
    Clock::time_point last_frame_at_;
    int x0_, y0_, x1_, y1_;  // damage since the last frame
    // The serials of each window's reports that are no frame: its Damage's
    // creation (a window that is already viewable then reports all of itself
    // at once, though a frame may have come before it), its redirection and
    // its mapping once redirected (its storage filled from the screen).
    std::unordered_map<unsigned long, std::vector<unsigned long>> no_frame_at_;
};
