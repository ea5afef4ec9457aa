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

#include "tests/support/files.h"

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

bool Pixels::white(int x, int y) const
{
    const unsigned char* p = at(x, y);
    return p[0] == 255 && p[1] == 255 && p[2] == 255;
}

// One connection for the whole process, made at first use, on DISPLAY.
static Display* x_display()
{
    static Display* display = XOpenDisplay(nullptr);
    return display;
}

// A window that vanishes between its look-up and a read raises an X error;
// here it only means "not (yet) there".
static int ignore_error(Display*, XErrorEvent*)
{
    return 0;
}

template <class Result>
static Result ignoring_x_errors(const std::function<Result(Display*)>& query)
{
    Display* display = x_display();
    if (!display)
        return Result();
    XErrorHandler previous = XSetErrorHandler(ignore_error);
    Result result = query(display);
    XSync(display, False);
    XSetErrorHandler(previous);
    return result;
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
    return ignoring_x_errors<WindowPlace>([&](Display* display) {
        Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
        unsigned int count = 0;
        WindowPlace found;
        if (!XQueryTree(display, root, &root, &parent, &children, &count))
            return found;
        for (unsigned int i = 0; i < count && !found.id; i++) {
            char* name = nullptr;
            if (XFetchName(display, children[i], &name) && name && title == name)
                found = place_of(display, children[i]);
            XFree(name);
        }
        XFree(children);
        return found;
    });
}

static pid_t start_program(const ViewerStart& how, const std::string& out, const std::string& err)
{
    pid_t pid = fork();
    if (pid == 0) {
        int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (chdir(how.folder.c_str()) != 0 || out_fd < 0 || err_fd < 0)
            _exit(126);
        dup2(out_fd, 1);
        dup2(err_fd, 2);
        if (!how.with_display)
            unsetenv("DISPLAY");
        std::vector<char*> argv{const_cast<char*>(how.program.c_str())};
        for (const std::string& a : how.args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(how.program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

static std::string temp_path(const char* name)
{
    return (fs::temp_directory_path() / ("aseview_" + std::to_string(getpid()) + "_" + name)).string();
}

void RealViewer::start(const ViewerStart& how)
{
    static int started = 0;
    std::string number = std::to_string(++started);
    title_ = how.title;
    out_path_ = temp_path(("stdout" + number).c_str());
    err_path_ = temp_path(("stderr" + number).c_str());
    pid_ = start_program(how, out_path_, err_path_);
}

RealViewer::~RealViewer()
{
    stop(SIGKILL);
    if (!out_path_.empty()) {
        unlink(out_path_.c_str());
        unlink(err_path_.c_str());
    }
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

std::string RealViewer::console() const
{
    return read_file(out_path_);
}

std::string RealViewer::errors() const
{
    return read_file(err_path_);
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

unsigned long RealViewer::pixel(int x, int y) const
{
    return ignoring_x_errors<unsigned long>([&](Display* display) {
        XImage* image = XGetImage(display, window_.id, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return 0ul;
        unsigned long rgb = XGetPixel(image, 0, 0) & 0xffffff;
        XDestroyImage(image);
        return rgb;
    });
}

// Only what lies on the screen can be read: without a window manager the
// window sits at (-1, -1), and its first row and column are not shown.
Pixels RealViewer::screenshot() const
{
    return ignoring_x_errors<Pixels>([&](Display* display) {
        Pixels shot;
        WindowPlace w = place_of(display, window_.id);
        int x0 = std::max(0, -w.x), y0 = std::max(0, -w.y);
        int x1 = std::min(w.width, DisplayWidth(display, 0) - w.x);
        int y1 = std::min(w.height, DisplayHeight(display, 0) - w.y);
        XImage* image = w.id && x1 > x0 && y1 > y0
                            ? XGetImage(display, w.id, x0, y0, x1 - x0, y1 - y0, AllPlanes, ZPixmap)
                            : nullptr;
        if (!image)
            return shot;
        shot.width = x1 - x0;
        shot.height = y1 - y0;
        for (int y = 0; y < shot.height; y++)
            for (int x = 0; x < shot.width; x++) {
                unsigned long pixel = XGetPixel(image, x, y);
                shot.rgb.insert(shot.rgb.end(), {(unsigned char)(pixel >> 16), (unsigned char)(pixel >> 8),
                                                 (unsigned char)pixel});
            }
        XDestroyImage(image);
        return shot;
    });
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

bool RealViewer::key(const std::string& keys) const
{
    return xdotool("mousemove --window " + std::to_string(window_.id) + " 5 5 key " + keys);
}

bool RealViewer::drag(int x0, int y0, int x1, int y1) const
{
    std::string window = std::to_string(window_.id);
    return xdotool("mousemove --window " + window + " " + at(x0, y0) + " mousedown 1 mousemove --window " +
                   window + " " + at(x1, y1) + " mouseup 1");
}

bool RealViewer::click(int x, int y, const std::string& held_key) const
{
    std::string hold = held_key.empty() ? "" : " keydown " + held_key;
    std::string release = held_key.empty() ? "" : " keyup " + held_key;
    return xdotool("mousemove --window " + std::to_string(window_.id) + " " + at(x, y) + hold +
                   " mousedown 1 mouseup 1" + release);
}

bool RealViewer::choose(int entry) const
{
    const auto poll = std::chrono::milliseconds(50);
    WindowPlace menu;
    if (!xdotool("mousemove --window " + std::to_string(window_.id) + " 40 40 mousedown 3") ||
        !wait_until(30, [&] { return (menu = find_window("freeglut menu")).id != 0; }, poll))
        return false;
    // Eight entries of equal height.
    int x = menu.x + menu.width / 2, y = menu.y + (2 * entry + 1) * menu.height / 16;
    return xdotool("mousemove " + at(x, y - 1) + " mousemove " + at(x, y) + " mouseup 3") &&
           wait_until(30, [] { return find_window("freeglut menu").id == 0; }, poll);
}
