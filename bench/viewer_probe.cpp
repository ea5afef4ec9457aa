#include "bench/viewer_probe.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <X11/extensions/Xdamage.h>

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

std::string generated_knot(const char* name, int faces)
{
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "aseview_bench";
    std::filesystem::path model = dir / name;
    if (std::filesystem::exists(model))
        return model.string();
    std::filesystem::create_directories(dir);
    printf("generating %s ...\n", model.c_str());
    fflush(stdout);
    std::string command = "'" MAKE_KNOT "' '" + model.string() + "' " + std::to_string(faces) + " >/dev/null";
    if (std::system(command.c_str()) != 0) {
        fprintf(stderr, "make_knot failed\n");
        exit(1);
    }
    return model.string();
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

// The peak resident size of a running process in MB (0 if unknown).
static double peak_mb(pid_t pid)
{
    double peak = 0;
    std::string status = "/proc/" + std::to_string(pid) + "/status";
    if (FILE* f = fopen(status.c_str(), "r")) {
        char line[256];
        long kb;
        while (fgets(line, sizeof line, f))
            if (sscanf(line, "VmHWM: %ld", &kb) == 1)
                peak = kb * 1024 / 1e6;
        fclose(f);
    }
    return peak;
}

start_phases viewer_start_phases(const char* dir, const char* model)
{
    start_phases phases = {-1, -1, -1, -1, -1, 0};
    const char* model_name = model ? model : "knot.ase";
    int watch = inotify_init1(IN_NONBLOCK);
    inotify_add_watch(watch, dir, IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
    auto start = clock_type::now();
    RealViewer viewer;
    viewer.start({.folder = dir, .args = model ? std::vector<std::string>{model} : std::vector<std::string>{}});
    while (phases.first_frame < 0 && viewer.running()) {
        // No frame comes before the dumps are written; until then the X
        // server is left alone, as its work would slow the viewer down. A
        // folder where the dumps cannot be written is watched after a while.
        pollfd file_events = {watch, POLLIN, 0};
        poll(&file_events, 1, 1);
        note_file_events(watch, model_name, start, &phases);
        if (phases.dumps_end < 0 && seconds_since(start) < 30)
            continue;
        if (viewer.frame_shown())
            phases.first_frame = seconds_since(start);
    }
    phases.peak_mb = peak_mb(viewer.pid());
    close(watch);
    return phases;
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
