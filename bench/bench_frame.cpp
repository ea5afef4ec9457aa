// Frame time of the viewer's drawing under the machine's GL (llvmpipe in CI)
// for the default knot and a 100,000-face knot, and the time from starting
// the real viewer to its first frame on screen. Needs an X display.
#include <benchmark/benchmark.h>

#include <GL/glut.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "mesh/ase.h"
#include "mesh/store.h"
#include "render/render.h"

namespace fs = std::filesystem;

static void frame_time(benchmark::State& state, const char* model)
{
    reset_ase_reader();
    load_model(model);
    reshape_handler(640, 480);
    for (auto _ : state) {
        display_handler();
        glFinish();
    }
    state.counters["faces"] = MAX_FACES;
}
// Wall time: llvmpipe draws on its own threads.
BENCHMARK_CAPTURE(frame_time, knot, ASEVIEW_RUN_DIR "/knot.ase")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(frame_time, knot_100k, ASEVIEW_BENCH_DIR "/knot100k.ase")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The viewer's first frame clears its window to white.
static bool viewer_frame_shown(Display* display)
{
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
    unsigned int count = 0;
    bool shown = false;
    if (!XQueryTree(display, root, &root, &parent, &children, &count))
        return false;
    for (unsigned int i = 0; i < count && !shown; i++) {
        char* name = nullptr;
        XWindowAttributes a;
        if (XFetchName(display, children[i], &name) && name &&
            strcmp(name, "various stuff- playing with colors") == 0 &&
            XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable) {
            XImage* image = XGetImage(display, children[i], 1, 1, 1, 1, AllPlanes, ZPixmap);
            shown = image && (XGetPixel(image, 0, 0) & 0xffffff) == 0xffffff;
            if (image)
                XDestroyImage(image);
        }
        XFree(name);
    }
    XFree(children);
    return shown;
}

static int ignore_error(Display*, XErrorEvent*)
{
    return 0;
}

static void start_to_first_frame(benchmark::State& state)
{
    fs::path dir = fs::temp_directory_path() / ("aseview_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    for (const char* name : {"knot.ase", "map2.tga"})
        fs::copy_file(fs::path(ASEVIEW_RUN_DIR) / name, dir / name,
                      fs::copy_options::overwrite_existing);
    Display* display = XOpenDisplay(nullptr);
    XSetErrorHandler(ignore_error);
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        pid_t pid = fork();
        if (pid == 0) {
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            if (chdir(dir.c_str()) == 0)
                execl(ASEVIEW_BIN, ASEVIEW_BIN, (char*)nullptr);
            _exit(127);
        }
        bool shown = false;
        while (!shown && waitpid(pid, nullptr, WNOHANG) == 0) {
            shown = viewer_frame_shown(display);
            usleep(1000);
        }
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        if (!shown) {
            state.SkipWithError("the viewer ended before its first frame");
            break;
        }
        state.SetIterationTime(elapsed.count());
    }
    XCloseDisplay(display);
    fs::remove_all(dir);
}
BENCHMARK(start_to_first_frame)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(640, 480);
    // Beside the viewer's window, which opens at the origin.
    glutInitWindowPosition(640, 0);
    glutCreateWindow("aseview bench");
    // init_scene reads map2.tga from the working directory.
    fs::current_path(ASEVIEW_RUN_DIR);
    init_scene();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
