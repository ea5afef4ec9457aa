#include "bench/viewer_probe.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

using clock_type = std::chrono::steady_clock;

static double seconds_since(clock_type::time_point start)
{
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

// A window that goes away between the query and the read is no error here.
static int ignore_error(Display*, XErrorEvent*)
{
    return 0;
}

pid_t start_program(const char* dir, const char* const* argv)
{
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        if (chdir(dir) == 0)
            execv(argv[0], const_cast<char* const*>(argv));
        _exit(127);
    }
    return pid;
}

double stop_program(pid_t pid)
{
    double peak_mb = 0;
    std::string status = "/proc/" + std::to_string(pid) + "/status";
    if (FILE* f = fopen(status.c_str(), "r")) {
        char line[256];
        long kb;
        while (fgets(line, sizeof line, f))
            if (sscanf(line, "VmHWM: %ld", &kb) == 1)
                peak_mb = kb * 1024 / 1e6;
        fclose(f);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return peak_mb;
}

std::string generated_knot(const char* name, int faces)
{
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "aseview_bench";
    std::filesystem::path model = dir / name;
    if (std::filesystem::exists(model))
        return model.string();
    std::filesystem::create_directories(dir);
    printf("generating %s ...\n", model.c_str());
    fflush(stdout);
    std::string count = std::to_string(faces);
    const char* argv[] = {MAKE_KNOT, model.c_str(), count.c_str(), nullptr};
    int status = 0;
    waitpid(start_program(dir.c_str(), argv), &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "make_knot failed\n");
        exit(1);
    }
    return model.string();
}

static Window viewable_window(Display* display, const char* title)
{
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr, found = 0;
    unsigned int count = 0;
    if (!XQueryTree(display, root, &root, &parent, &children, &count))
        return 0;
    for (unsigned int i = 0; i < count && !found; i++) {
        char* name = nullptr;
        XWindowAttributes a;
        if (XFetchName(display, children[i], &name) && name && strcmp(name, title) == 0 &&
            XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable)
            found = children[i];
        XFree(name);
    }
    XFree(children);
    return found;
}

Window wait_for_window(Display* display, const char* title, pid_t pid, double seconds)
{
    XSetErrorHandler(ignore_error);
    auto start = clock_type::now();
    Window window = 0;
    while (!window && seconds_since(start) < seconds && waitpid(pid, nullptr, WNOHANG) == 0) {
        window = viewable_window(display, title);
        usleep(10000);
    }
    return window;
}

// The viewer's first frame clears its window to white: its top-left pixel
// turns white once the window is mapped and drawn.
static bool frame_shown(Display* display, Window window)
{
    XImage* image = XGetImage(display, window, 1, 1, 1, 1, AllPlanes, ZPixmap);
    bool shown = image && (XGetPixel(image, 0, 0) & 0xffffff) == 0xffffff;
    if (image)
        XDestroyImage(image);
    return shown;
}

// The file events in the viewer's folder that mark its phases.
static void note_file_events(int watch, const char* model, clock_type::time_point start, start_phases* phases)
{
    alignas(inotify_event) char events[4096];
    ssize_t length;
    while ((length = read(watch, events, sizeof events)) > 0) {
        for (char* p = events; p < events + length; p += sizeof(inotify_event) + ((inotify_event*)p)->len) {
            auto* event = (inotify_event*)p;
            if (event->len == 0)
                continue;
            double t = seconds_since(start);
            bool opened = event->mask & IN_OPEN, closed = event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
            if (strcmp(event->name, model) == 0 && opened && phases->load_begin < 0)
                phases->load_begin = t;
            else if (strcmp(event->name, model) == 0 && closed && phases->load_end < 0)
                phases->load_end = t;
            else if (strcmp(event->name, "dump.txt") == 0 && opened && phases->dumps_begin < 0)
                phases->dumps_begin = t;
            else if (strcmp(event->name, "vnorml.txt") == 0 && closed)
                phases->dumps_end = t;
        }
    }
}

start_phases viewer_start_phases(Display* display, const char* dir, const char* model)
{
    start_phases phases = {-1, -1, -1, -1, -1, 0};
    const char* model_name = model ? model : "knot.ase";
    int watch = inotify_init1(IN_NONBLOCK);
    inotify_add_watch(watch, dir, IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
    XSetErrorHandler(ignore_error);
    auto start = clock_type::now();
    const char* argv[] = {ASEVIEW_BIN, model, nullptr};
    pid_t pid = start_program(dir, argv);
    Window window = 0;
    while (phases.first_frame < 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
        // No frame comes before the dumps are written; until then the X
        // server is left alone, as its work would slow the viewer down. A
        // folder where the dumps cannot be written is watched after a while.
        pollfd file_events = {watch, POLLIN, 0};
        poll(&file_events, 1, 1);
        note_file_events(watch, model_name, start, &phases);
        if (phases.dumps_end < 0 && seconds_since(start) < 30)
            continue;
        if (!window)
            window = viewable_window(display, "various stuff- playing with colors");
        if (window && frame_shown(display, window))
            phases.first_frame = seconds_since(start);
    }
    phases.peak_mb = stop_program(pid);
    close(watch);
    return phases;
}

void start_spin(Display* display, Window window)
{
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    auto pause = [display](int ms) {
        XSync(display, False);
        usleep(ms * 1000);
    };
    XTestFakeMotionEvent(display, -1, x + 320, y + 240, 0);
    XTestFakeButtonEvent(display, 1, True, 0);
    pause(100);
    XTestFakeMotionEvent(display, -1, x + 400, y + 240, 0);
    pause(50);
    XTestFakeMotionEvent(display, -1, x + 470, y + 240, 0);
    pause(100);
    XTestFakeButtonEvent(display, 1, False, 0);
    KeyCode f = XKeysymToKeycode(display, XK_f);
    XTestFakeKeyEvent(display, f, True, 0);
    XTestFakeKeyEvent(display, f, False, 0);
    pause(0);
}

double ms_per_frame(Display* display, Window window, double seconds)
{
    int damage_event = 0, damage_error = 0;
    if (!XDamageQueryExtension(display, &damage_event, &damage_error))
        return -1;
    // Every presented frame puts new pixels into the window; each report is
    // acknowledged at once so that the next frame raises the next one.
    Damage damage = XDamageCreate(display, window, XDamageReportNonEmpty);
    XSync(display, False);
    auto start = clock_type::now(), first = start;
    int frames = -1;
    double elapsed = 0;
    while (elapsed < seconds) {
        XEvent event;
        if (!XPending(display)) {
            if (seconds_since(start) > seconds + 30)
                break;
            usleep(200);
            continue;
        }
        XNextEvent(display, &event);
        if (event.type != damage_event + XDamageNotify)
            continue;
        XDamageSubtract(display, damage, None, None);
        XFlush(display);
        if (frames < 0 && seconds_since(start) < 1.0)
            continue;
        if (frames < 0)
            first = clock_type::now();
        frames++;
        elapsed = seconds_since(first);
    }
    XDamageDestroy(display, damage);
    XSync(display, False);
    return frames > 0 ? elapsed * 1000 / frames : -1;
}
