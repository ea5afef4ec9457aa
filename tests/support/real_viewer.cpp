#include "tests/support/real_viewer.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

const char* const viewer_title = "various stuff- playing with colors";

bool wait_until(double seconds, const std::function<bool()>& done, std::chrono::milliseconds interval)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(interval);
    }
    return true;
}

void copy_run_files(const std::vector<std::string>& names, const std::string& folder)
{
    for (const std::string& name : names)
        fs::copy_file(fs::path(ASEVIEW_RUN_DIR) / name, fs::path(folder) / name,
                      fs::copy_options::overwrite_existing);
}

// A window that vanishes between its look-up and a read raises an X error;
// here it only means "not (yet) there".
static int ignore_error(Display*, XErrorEvent*)
{
    return 0;
}

// One connection for the whole process, made at first use, on DISPLAY.
static Display* x_display()
{
    static Display* display = (XSetErrorHandler(ignore_error), XOpenDisplay(nullptr));
    return display;
}

// Where the window is on the screen and how large; none when it is not viewable.
static WindowPlace place_of(Display* display, Window window)
{
    XWindowAttributes a;
    Window child;
    WindowPlace place;
    if (XGetWindowAttributes(display, window, &a) && a.map_state == IsViewable &&
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &place.x, &place.y, &child))
        place = {window, place.x, place.y, a.width, a.height};
    return place;
}

// The viewable top-level window of that title.
static WindowPlace find_window(const std::string& title)
{
    Display* display = x_display();
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    WindowPlace found;
    if (!display || !XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return found;
    for (unsigned int i = 0; i < count && !found.id; i++) {
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) && name && title == name)
            found = place_of(display, children[i]);
        XFree(name);
    }
    XFree(children);
    return found;
}

void RealViewer::start(const ViewerStart& how)
{
    static int started = 0;
    std::string scratch = fs::temp_directory_path() / ("aseview_" + std::to_string(getpid()) + "_" +
                                                       std::to_string(++started));
    title_ = how.title;
    out_path_ = scratch + ".out";
    err_path_ = scratch + ".err";
    pid_ = fork();
    if (pid_ != 0)
        return;
    int out = open(out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (chdir(how.folder.c_str()) != 0 || out < 0 || err < 0)
        _exit(126);
    dup2(out, 1);
    dup2(err, 2);
    if (!how.with_display)
        unsetenv("DISPLAY");
    std::vector<char*> argv{const_cast<char*>(how.program.c_str())};
    for (const std::string& a : how.args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(how.program.c_str(), argv.data());
    _exit(127);
}

RealViewer::~RealViewer()
{
    stop(SIGKILL);
    unlink(out_path_.c_str());
    unlink(err_path_.c_str());
}

bool RealViewer::running()
{
    if (pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_)
        pid_ = -1;
    return pid_ > 0;
}

int RealViewer::stop(int signal)
{
    if (running()) {
        kill(pid_, signal);
        waitpid(pid_, &status_, 0);
        pid_ = -1;
    }
    return status_;
}

bool RealViewer::wait_for_window(double seconds)
{
    return wait_until(seconds, [&] { return (window_ = find_window(title_)).id || !running(); }) && window_.id;
}

bool RealViewer::frame_shown()
{
    if (!window_.id)
        window_ = find_window(title_);
    return window_.id && pixel(1, 1) == 0xffffff;
}

// Reads the rectangle of the window as 0xRRGGBB pixels, rows top to bottom;
// empty when it cannot be read.
static std::vector<unsigned long> window_pixels(Window window, int x, int y, int width, int height)
{
    Display* display = x_display();
    XImage* image = display ? XGetImage(display, window, x, y, width, height, AllPlanes, ZPixmap) : nullptr;
    std::vector<unsigned long> pixels;
    for (int row = 0; image && row < height; row++)
        for (int column = 0; column < width; column++)
            pixels.push_back(XGetPixel(image, column, row) & 0xffffff);
    if (image)
        XDestroyImage(image);
    return pixels;
}

unsigned long RealViewer::pixel(int x, int y) const
{
    std::vector<unsigned long> pixels = window_pixels(window_.id, x, y, 1, 1);
    return pixels.empty() ? 0 : pixels[0];
}

// Only what lies on the screen can be read: without a window manager the
// window sits at (-1, -1), and its first row and column are not shown.
Pixels RealViewer::screenshot() const
{
    Display* display = x_display();
    WindowPlace w = display ? place_of(display, window_.id) : WindowPlace();
    int x0 = std::max(0, -w.x), y0 = std::max(0, -w.y);
    int x1 = display ? std::min(w.width, DisplayWidth(display, 0) - w.x) : 0;
    int y1 = display ? std::min(w.height, DisplayHeight(display, 0) - w.y) : 0;
    Pixels shot;
    if (x1 <= x0 || y1 <= y0)
        return shot;
    for (unsigned long pixel : window_pixels(w.id, x0, y0, x1 - x0, y1 - y0))
        shot.rgb.insert(shot.rgb.end(), {(unsigned char)(pixel >> 16), (unsigned char)(pixel >> 8), (unsigned char)pixel});
    if (!shot.rgb.empty()) {
        shot.width = x1 - x0;
        shot.height = y1 - y0;
    }
    return shot;
}

// Every xdotool run has a time limit, so that a hang is a failure.
static bool xdotool(const std::string& commands)
{
    return std::system(("timeout 20 xdotool " + commands + " >/dev/null 2>&1").c_str()) == 0;
}

static std::string at(int x, int y)
{
    return std::to_string(x) + " " + std::to_string(y);
}

std::string RealViewer::pointer_to(int x, int y) const
{
    return "mousemove --window " + std::to_string(window_.id) + " " + at(x, y);
}

bool RealViewer::key(const std::string& keys) const
{
    return xdotool(pointer_to(5, 5) + " key " + keys);
}

bool RealViewer::drag(int x0, int y0, int x1, int y1) const
{
    return xdotool(pointer_to(x0, y0) + " mousedown 1 " + pointer_to(x1, y1) + " mouseup 1");
}

bool RealViewer::click(int x, int y, const std::string& held_key) const
{
    std::string hold = held_key.empty() ? "" : " keydown " + held_key;
    std::string release = held_key.empty() ? "" : " keyup " + held_key;
    return xdotool(pointer_to(x, y) + hold + " mousedown 1 mouseup 1" + release);
}

bool RealViewer::choose(int entry) const
{
    const auto poll = std::chrono::milliseconds(50);
    WindowPlace menu;
    if (!xdotool(pointer_to(40, 40) + " mousedown 3") ||
        !wait_until(30, [&] { return (menu = find_window("freeglut menu")).id != 0; }, poll))
        return false;
    // Eight entries of equal height.
    int x = menu.x + menu.width / 2, y = menu.y + (2 * entry + 1) * menu.height / 16;
    return xdotool("mousemove " + at(x, y - 1) + " mousemove " + at(x, y) + " mouseup 3") &&
           wait_until(30, [] { return find_window("freeglut menu").id == 0; }, poll);
}
