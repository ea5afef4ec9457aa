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
constexpr double target_ratio = 1.15;

static double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Starts the program on the model in dir, sets it spinning as a user would
// (a drag 150 pixels to the right from the window's centre, then 'f') and
// measures it after a first second.
static double spinning_ms(const char* dir, const char* program, const char* title, const std::string& model)
{
    RealViewer viewer;
    viewer.start({.folder = dir, .args = {model}, .program = program, .title = title});
    if (!viewer.wait_for_first_frame(120) || !viewer.drag(320, 240, 470, 240) || !viewer.key("f"))
        return -1;
    viewer.frames_within(1);
    return viewer.ms_per_frame(seconds_per_run);
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

    printf("viewer %s, spinning; median of %d rounds of %.0f s\n", viewer, rounds, seconds_per_run);
    printf("%10s %12s %12s %7s   target\n", "faces", "viewer ms", "floor ms", "ratio");
    bool met = true;
    for (size_t i = 0; i < models.size(); i++) {
        std::vector<double> ours, floor;
        for (int r = 0; r < rounds; r++) {
            ours.push_back(spinning_ms(dir.c_str(), viewer, viewer_title, models[i]));
            floor.push_back(spinning_ms(dir.c_str(), FRAME_FLOOR, "aseview floor", models[i]));
        }
        double v = median(ours), f = median(floor), ratio = v / f;
        bool ok = v > 0 && f > 0 && ratio <= target_ratio;
        met = met && ok;
        printf("%10d %12.1f %12.1f %7.2f   %.2fx: %s\n", sizes[i].faces, v, f, ratio, target_ratio,
               ok ? "met" : "NOT met");
        fflush(stdout);
    }
    return met ? 0 : 1;
}
