// Time per thumbnail: the installed thumbnailer's command (make_screenshot
// --offscreen --view model --size 256 --max-model 100) on each model of a
// folder, by default the shared corpus, beside its floor: the start of an Xvfb
// plus the viewer's own way from its start to its first frame (model view) on an
// X server that already runs. Every measure takes turns with the others; the
// median of the rounds counts for each model, and the median over the
// models for the whole.
// Usage: bench_thumbnail [FOLDER]
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
constexpr double goal_ratio = 1.3, goal_seconds = 0.5;

// The viewer started as make_screenshot starts it, to its first frame.
static double first_frame_seconds(const fs::path& dir, const std::string& model)
{
    return seconds_to_first_frame({.folder = dir,
                                   .args = {model, "-geometry", "+0+0"},
                                   .program = ASEVIEW_BIN,
                                   .title = model_view_title(model),
                                   .env = {"ASEVIEW_VIEW=model"}});
}

// A child that starts an Xvfb of its own and ends, ending it.
static int xvfb_only()
{
    return use_own_display() ? 0 : 1;
}

int main(int argc, char** argv)
{
    if (argc == 2 && strcmp(argv[1], "--xvfb-only") == 0)
        return xvfb_only();
    fs::path corpus = argc == 2 ? argv[1] : ASEVIEW_CORPUS "/ase";
    std::vector<fs::path> models;
    std::error_code e;
    for (const auto& entry : fs::directory_iterator(corpus, e))
        if (entry.is_regular_file())
            models.push_back(entry.path());
    std::sort(models.begin(), models.end());
    if (models.empty()) {
        fprintf(stderr, "bench_thumbnail: no models in %s\n", corpus.c_str());
        return 1;
    }
    if (!use_private_display()) {
        fprintf(stderr, "bench_thumbnail: no X server of its own (Xvfb) could be started\n");
        return 1;
    }
    fs::path dir = fs::temp_directory_path() / ("aseview_bench_thumbnail_" + std::to_string(getpid()));
    fs::create_directories(dir);
    copy_run_files({"map2.tga"}, dir);
    std::string self = fs::read_symlink("/proc/self/exe"), png = (dir / "thumb.png").string();

    printf("thumbnail (make_screenshot --offscreen --view model --size 256), start to PNG; median of %d rounds\n",
           rounds);
    printf("%-28s %10s %10s %10s %10s %8s\n", "model", "thumbnail", "Xvfb", "1st frame", "floor", "th/fl");
    std::vector<double> thumbs, ratios;
    for (const fs::path& model : models) {
        std::vector<double> thumb, xvfb, frame;
        for (int r = 0; r < rounds; r++) {
            thumb.push_back(run_program({MAKE_SCREENSHOT, "--offscreen", "--view", "model", "--size", "256",
                                         "--max-model", "100", model, png}, dir.c_str()).wall);
            xvfb.push_back(run_program({self, "--xvfb-only"}).wall);
            frame.push_back(first_frame_seconds(dir, model));
        }
        double t = median(thumb), floor = median(xvfb) + median(frame);
        if (*std::min_element(thumb.begin(), thumb.end()) < 0) {
            printf("%-28s   declined (no picture: nothing shown or the model refused)\n",
                   model.filename().c_str());
            continue;
        }
        thumbs.push_back(t);
        ratios.push_back(t / floor);
        printf("%-28s %8.3f s %8.3f s %8.3f s %8.3f s %7.2fx\n", model.filename().c_str(), t, median(xvfb),
               median(frame), floor, t / floor);
        fflush(stdout);
    }
    fs::remove_all(dir);
    if (thumbs.empty()) {
        printf("no thumbnail was made\n");
        return 1;
    }
    double t = median(thumbs), ratio = median(ratios);
    bool met = ratio <= goal_ratio && t < goal_seconds;
    printf("median over %zu models: %.3f s per thumbnail, %.2fx its floor (goal: at most %.1fx and under "
           "%.1f s): %s\n",
           thumbs.size(), t, ratio, goal_ratio, goal_seconds, met ? "met" : "NOT met");
    printf("floor = Xvfb start + the viewer's start to first frame on a running X server\n");
    return met ? 0 : 1;
}
