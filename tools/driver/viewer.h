// The real viewer, or another program of ours with a window, run as a user
// runs it: a process of its own in a folder of its own with its console in
// files, its frames seen as the window presents them, its window read back as
// pixels, and input sent through xdotool. Free of GoogleTest and of Xlib's
// macros (they clash with GoogleTest's names).
#pragma once
#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tools/driver/frames.h"

extern const char* const viewer_title;
// The title of the model view's window for that model: its file name and
// " - aseview".
std::string model_view_title(const std::string& model_path);

// What xprop prints of a window's property, as "WM_CLASS(STRING) = ...\n".
std::string window_property(unsigned long window, const std::string& property);

// Polls done until it holds; false when `seconds` pass first.
bool wait_until(double seconds, const std::function<bool()>& done,
                std::chrono::milliseconds interval = std::chrono::milliseconds(20));

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
    std::vector<std::string> args = {};
    std::string program = {};
    std::string title = viewer_title;  // of the window whose frames count
    bool with_display = true;          // false: started without DISPLAY
    std::vector<std::string> env = {};  // "NAME=value" set for the program alone
    // Empty: standard output and standard error each go to a temporary file
    // of their own. Otherwise both go to this file, interleaved as written.
    std::string console = {};
    // The window drawn into storage of its own (where the server can), so
    // that a window over it takes none of its frames or pixels; the program
    // may be asked for a frame more than it would draw by itself.
    bool own_pixels = false;
};

// Ends the program, if it still runs, when it goes.
class RealViewer {
public:
    RealViewer() = default;
    RealViewer(const RealViewer&) = delete;
    RealViewer& operator=(const RealViewer&) = delete;
    ~RealViewer();

    // False when the program's frames cannot be watched (no display, or one
    // without the Damage extension); it is then not started. The program
    // ends with its parent.
    bool start(const ViewerStart& how);
    pid_t pid() const { return pid_; }
    bool running();
    // Sends the signal unless the program has ended, and SIGKILL if it has
    // not ended 10 seconds later; its wait status.
    int stop(int signal = SIGTERM);
    std::string console() const;  // standard output, or both with ViewerStart::console
    std::string errors() const;   // standard error

    // Whether the window has presented its first frame, from what the X
    // server has reported so far; does not wait.
    bool frame_presented();
    // Waits until the window presents its first frame; false when the
    // program ended or `seconds` passed first.
    bool wait_for_first_frame(double seconds);
    // The picture once the program has handled all input sent to it before
    // the call and drawn it: a frame is asked for twice, each after the
    // frame before, and the picture read after the second, which the program
    // drew after reading its input (the first may have been under way
    // before). Empty when a frame did not come within `seconds`.
    Pixels settled_screenshot(double seconds = 30);
    // Waits until the program sleeps in its main loop's wait for events
    // with every event the server has given it so far handled, input
    // included: a GLUT program at rest, which presents no frame until the
    // next event comes. False when it ended or `seconds` passed first.
    bool wait_until_at_rest(double seconds);
    // The frames the window presents from now until `seconds` have passed:
    // "after 'f' the viewer keeps presenting new frames" is
    // frames_within(2) > some count.
    int frames_within(double seconds);
    // Waits until the window presents `count` frames from now; false when
    // the program ended or `seconds` passed first.
    bool wait_for_frames(int count, double seconds);
    // Milliseconds per frame over the next `seconds`: the time from the
    // first to the last frame presented in that span by the frames after the
    // first; negative when fewer than two came.
    double ms_per_frame(double seconds);
    // Seconds from the start of `act` to the first frame presented after it
    // began; negative when none came within `seconds`.
    double seconds_to_frame_after(const std::function<void()>& act, double seconds);
    // Share of one core that the program spends over the next `seconds`,
    // from the user and system time that /proc keeps for it.
    double core_share(double seconds) const;
    // Where the X server's reports arrive, to wait on with poll() beside
    // other descriptors; -1 without a display.
    int x_events_fd() const;

    // Where the window is, once it has presented a frame.
    WindowPlace window() const { return window_; }
    // 0xRRGGBB at that point of the window; 0 where it cannot be read.
    unsigned long pixel(int x, int y) const;
    // What the screen shows of the window.
    Pixels screenshot() const;

    // Keys as xdotool names them. The pointer goes to the window first: with
    // no window manager the keyboard follows the pointer.
    bool key(const std::string& keys) const;
    // A drag in window coordinates with that button (1 left, 2 middle),
    // with a key held or not.
    bool drag(int x0, int y0, int x1, int y1, int button = 1, const std::string& held_key = "") const;
    // Turns the wheel at that point: notches up (positive) or down.
    bool wheel(int x, int y, int notches) const;
    // A left press and release without motion, with a key held or not.
    bool click(int x, int y, const std::string& held_key = "") const;
    // Right press, slide onto the pop-up menu's entry (counted from 0 of
    // `entries` of equal height), release there; true once the menu has come
    // and gone.
    bool choose(int entry, int entries = 8) const;

private:
    // Asks for a frame and waits until one is presented after the request;
    // false when the program ended or `seconds` passed first.
    bool frame_on_request(double seconds);
    // Waits until the frames presented so far number `count`.
    bool frames_reach(int count, FrameWatch::Clock::time_point end);
    std::string pointer_to(int x, int y) const;  // xdotool's command for it
    // Where the window is on the screen and how large; none when it is not viewable.
    WindowPlace place_of(unsigned long window) const;
    // The viewable top-level window of that title.
    WindowPlace find_window(const std::string& title) const;

    std::string out_path_, err_path_;
    bool own_console_files_ = false;
    pid_t pid_ = -1;
    int status_ = 0;
    struct _XDisplay* display_ = nullptr;  // this program's own connection
    FrameWatch frames_;
    WindowPlace window_;
};
