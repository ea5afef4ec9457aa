// Time to a PNG with make_screenshot, for the default knot and for a model
// that covers every pixel of the window, beside the floor under it: the
// viewer's own way from its start to its first frame on an X server that
// already runs, and the start of an Xvfb. make_screenshot runs both ways:
// on an Xvfb of its own (no DISPLAY) and on the running one (the bench's own
// Xvfb). Every measure takes turns with the others, and the median of the
// rounds counts.
// Usage: bench_screenshot
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/viewer_probe.h"

namespace fs = std::filesystem;

constexpr int rounds = 7;
constexpr double goal_seconds = 2;

// Two faces far wider than the view at their depth.
static const char* const cover_model = R"(*MESH_NUMVERTEX 4
*MESH_NUMFACES 2
*MESH_VERTEX 0 -200.0 -200.0 0.0
*MESH_VERTEX 1 200.0 -200.0 0.0
*MESH_VERTEX 2 200.0 200.0 0.0
*MESH_VERTEX 3 -200.0 200.0 0.0
*MESH_FACE 0: A: 0 B: 1 C: 2
*MESH_FACE 1: A: 0 B: 2 C: 3
*MESH_FACENORMAL 0 0.0 0.0 1.0
*MESH_VERTEXNORMAL 0 0.0 0.0 1.0
*MESH_VERTEXNORMAL 1 0.0 0.0 1.0
*MESH_VERTEXNORMAL 2 0.0 0.0 1.0
*MESH_FACENORMAL 1 0.0 0.0 1.0
*MESH_VERTEXNORMAL 0 0.0 0.0 1.0
*MESH_VERTEXNORMAL 2 0.0 0.0 1.0
*MESH_VERTEXNORMAL 3 0.0 0.0 1.0
)";

static double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The viewer started as make_screenshot starts it, to its first frame.
static double first_frame_seconds(const fs::path& dir, const std::string& model)
{
    auto start = std::chrono::steady_clock::now();
    RealViewer viewer;
    viewer.start({.folder = dir, .args = {model, "-geometry", "+0+0"}, .program = ASEVIEW_BIN});
    return viewer.wait_for_first_frame(60) ? seconds_since(start) : -1;
}

// A child that starts an Xvfb of its own and ends, ending it.
static int xvfb_only()
{
    unsetenv("DISPLAY");
    return use_display() ? 0 : 1;
}

int main(int argc, char** argv)
{
    if (argc == 2 && strcmp(argv[1], "--xvfb-only") == 0)
        return xvfb_only();
    if (!use_private_display()) {
        fprintf(stderr, "bench_screenshot: no X server of its own (Xvfb) could be started\n");
        return 1;
    }
    fs::path dir =
        fs::temp_directory_path() / ("aseview_bench_screenshot_" + std::to_string(getpid()));
    fs::create_directories(dir);
    copy_run_files({"knot.ase", "map2.tga"}, dir);
    if (FILE* f = fopen((dir / "cover.ase").c_str(), "w")) {
        fputs(cover_model, f);
        fclose(f);
    }
    std::string self = fs::read_symlink("/proc/self/exe");

    printf("make_screenshot, start to PNG; median of %d rounds\n", rounds);
    printf("%-10s %10s %10s %10s %10s %10s %8s %8s   goal %.0f s\n", "model", "own Xvfb", "on X",
           "Xvfb", "1st frame", "floor", "own/fl", "on X/fr", goal_seconds);
    bool met = true, failed = false;
    for (const char* name : {"knot.ase", "cover.ase"}) {
        std::string model = (dir / name).string(), png = (dir / "shot.png").string();
        std::vector<double> own, on_x, xvfb, frame;
        for (int r = 0; r < rounds; r++) {
            own.push_back(run_program({MAKE_SCREENSHOT, model, png}, dir.c_str(), false).wall);
            on_x.push_back(run_program({MAKE_SCREENSHOT, model, png}, dir.c_str()).wall);
            xvfb.push_back(run_program({self, "--xvfb-only"}).wall);
            frame.push_back(first_frame_seconds(dir, model));
        }
        double o = median(own), x = median(on_x), s = median(xvfb), f = median(frame);
        bool ok = o > 0 && x > 0 && o < goal_seconds && x < goal_seconds;
        failed = failed || *std::min_element(own.begin(), own.end()) < 0 ||
                 *std::min_element(on_x.begin(), on_x.end()) < 0 || s < 0 || f < 0;
        met = met && ok;
        printf("%-10s %8.3f s %8.3f s %8.3f s %8.3f s %8.3f s %7.2fx %7.2fx   %s\n", name, o, x, s,
               f, s + f, o / (s + f), x / f, ok ? "met" : "NOT met");
        fflush(stdout);
    }
    printf("floor = Xvfb start + the viewer's start to first frame on a running X server\n");
    if (failed)
        printf("some runs FAILED (a negative time)\n");
    fs::remove_all(dir);
    return met && !failed ? 0 : 1;
}
