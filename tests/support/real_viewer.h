// The real viewer, or another program of ours with a window, run as a user
// runs it: a process of its own in a folder of its own with its console in
// files, its window found by title on the X display and read back as pixels,
// and input sent through xdotool. Free of GoogleTest and of Xlib's macros
// (they clash with GoogleTest's names): the benchmarks use it too.
#pragma once
#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/files.h"

extern const char* const viewer_title;

// Polls done until it holds; false when `seconds` pass first.
bool wait_until(double seconds, const std::function<bool()>& done,
                std::chrono::milliseconds interval = std::chrono::milliseconds(20));

// Copies files that the build made in its run folder (knot.ase, map2.tga)
// into folder, replacing what is there.
void copy_run_files(const std::vector<std::string>& names, const std::string& folder = ".");

// Red, green, blue bytes, rows top to bottom; empty when nothing could be read.
struct Pixels {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char* at(int x, int y) const { return &rgb[3 * (y * width + x)]; }
    bool white(int x, int y) const { return at(x, y)[0] == 255 && at(x, y)[1] == 255 && at(x, y)[2] == 255; }
};

// A top-level window; x and y on the screen.
struct WindowPlace {
    unsigned long id = 0;  // 0: none
    int x = 0, y = 0, width = 0, height = 0;
};

struct ViewerStart {
    std::string folder = ".";  // its working directory
    std::vector<std::string> args;
    std::string program = ASEVIEW_BIN;
    std::string title = viewer_title;
    bool with_display = true;  // false: started without DISPLAY
};

// Ends the program, if it still runs, when it goes.
class RealViewer {
public:
    ~RealViewer();
    void start(const ViewerStart& how);
    pid_t pid() const { return pid_; }
    bool running();
    // Sends the signal unless the program has ended; its wait status.
    int stop(int signal = SIGTERM);
    std::string console() const { return read_file(out_path_); }  // standard output
    std::string errors() const { return read_file(err_path_); }    // standard error

    // Waits until the window is viewable; false when the program ended or
    // `seconds` passed first.
    bool wait_for_window(double seconds);
    WindowPlace window() const { return window_; }
    // Whether the window shows a frame: a frame is cleared to white, so the
    // window's pixel at (1, 1) turns white. Looks for the window first.
    bool frame_shown();
    // 0xRRGGBB at that point of the window; 0 where it cannot be read.
    unsigned long pixel(int x, int y) const;
    // What the screen shows of the window.
    Pixels screenshot() const;

    // Keys as xdotool names them. The pointer goes to the window first: with
    // no window manager the keyboard follows the pointer.
    bool key(const std::string& keys) const;
    // A left drag in window coordinates.
    bool drag(int x0, int y0, int x1, int y1) const;
    // A left press and release without motion, with a key held or not.
    bool click(int x, int y, const std::string& held_key = "") const;
    // Right press, slide onto the pop-up menu's entry (counted from 0),
    // release there; true once the menu has come and gone.
    bool choose(int entry) const;

private:
    std::string pointer_to(int x, int y) const;  // xdotool's command for it

    std::string title_, out_path_, err_path_;
    pid_t pid_ = -1;
    int status_ = 0;
    WindowPlace window_;
};
