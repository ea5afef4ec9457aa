// Frame time of the real viewer while it spins, as a user sees it, beside
// the floor: a minimal program of ours that sends the same mesh with the same
// calls (frame_floor). Knots of 10,000 to 1,000,000 faces; each size runs
// the viewer and the floor in turns, and the median of the rounds counts.
// Runs on an X server of its own (Xvfb).
// Usage: bench_spin [VIEWER]  (default: this build's aseview; another build's
// binary compares before and after)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/viewer_probe.h"

namespace fs = std::filesystem;

constexpr int rounds = 3;
constexpr double seconds_per_run = 5;
constexpr double seconds_at_rest = 2;
constexpr double target_ratio = 1.15;
constexpr double target_rest_share = 0.02;

struct run {
    double ms_per_frame;
    double rest_share;  // of a core, before it spins
};

// Starts the program on the model in dir, measures it at rest, sets it
// spinning as a user would (a drag 150 pixels to the right from the window's
// centre, then 'f') and measures it after a first second.
static run spinning(const char* dir, const char* program, const char* title, const std::string& model)
{
    RealViewer viewer;
    viewer.start({.folder = dir, .args = {model}, .program = program, .title = title});
    if (!viewer.wait_for_first_frame(120))
        return {-1, -1};
    viewer.frames_within(0.5);
    double rest = viewer.core_share(seconds_at_rest);
    if (!viewer.drag(320, 240, 470, 240) || !viewer.key("f"))
        return {-1, rest};
    viewer.frames_within(1);
    return {viewer.ms_per_frame(seconds_per_run), rest};
}

int main(int argc, char** argv)
{
    if (!use_private_display()) {
        fprintf(stderr, "bench_spin: no X server of its own (Xvfb) could be started\n");
        return 1;
    }
    const char* viewer = argc > 1 ? argv[1] : ASEVIEW_BIN;
    struct size {
        const char* name;
        int faces;
    } sizes[] = {{"knot10k.ase", 10000}, {"knot100k.ase", 100000}, {"knot300k.ase", 300000}, {"knot1m.ase", 1000000}};
    std::vector<std::string> models;
    for (const size& s : sizes)
        models.push_back(generated_knot(s.name, s.faces));
    fs::path dir = fs::path(models[0]).parent_path();
    copy_run_files({"map2.tga"}, dir);

    printf("viewer %s, spinning; median of %d rounds of %.0f s; at rest: %% of a core over %.0f s\n",
           viewer, rounds, seconds_per_run, seconds_at_rest);
    printf("%10s %12s %12s %7s   target  %9s   target\n", "faces", "viewer ms", "floor ms", "ratio", "at rest");
    bool met = true;
    for (size_t i = 0; i < models.size(); i++) {
        std::vector<double> ours, floor, rest;
        for (int r = 0; r < rounds; r++) {
            run v = spinning(dir.c_str(), viewer, viewer_title, models[i]);
            ours.push_back(v.ms_per_frame);
            rest.push_back(v.rest_share);
            floor.push_back(spinning(dir.c_str(), FRAME_FLOOR, "aseview floor", models[i]).ms_per_frame);
        }
        double v = median(ours), f = median(floor), ratio = v / f, at_rest = median(rest);
        bool fast = v > 0 && f > 0 && ratio <= target_ratio;
        bool resting = at_rest >= 0 && at_rest < target_rest_share;
        met = met && fast && resting;
        printf("%10d %12.1f %12.1f %7.2f   %.2fx: %-7s %7.1f %%   <%.0f %%: %s\n", sizes[i].faces, v, f, ratio,
               target_ratio, fast ? "met" : "NOT met", 100 * at_rest, 100 * target_rest_share,
               resting ? "met" : "NOT met");
        fflush(stdout);
    }
    return met ? 0 : 1;
}
