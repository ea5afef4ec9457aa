// The model view's controls on the million-face knot, one viewer for all:
//  1. a frame with the information panel beside one without, both spinning
//     (goal: at most 1.1x);
//  2. frames while a drag turns the model, a drag pans it and the wheel
//     zooms, beside the spinning frames (goal: at most 1.1x: a drag or a
//     notch that sent the model again would cost a frame an upload of
//     tens of megabytes).
// Runs on an X server of its own; measures take turns, medians count.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/viewer_probe.h"

namespace fs = std::filesystem;

constexpr int rounds = 3;
constexpr double goal = 1.1;

// xdotool's commands for `steps` pointer moves of `dx`, `dy` pixels from the
// window's centre, 5 ms apart, with a button held (none for "hover"), or
// wheel notches.
static std::string moves(unsigned long window, const std::string& kind, int steps)
{
    std::string w = " --window " + std::to_string(window) + " ";
    std::string command = "xdotool mousemove" + w + "320 240";
    if (kind == "wheel") {
        for (int i = 0; i < steps; i++)
            command += std::string(" click ") + (i / 10 % 2 ? "5" : "4") + " sleep 0.005";
        return command;
    }
    command += kind == "pan" ? " keydown shift mousedown 1" : kind == "turn" ? " mousedown 1" : "";
    // A pan keeps within 4 pixels of the start: what the drag itself costs
    // is measured, not the picture it leads to (panned up to 25 pixels, the
    // million-face knot's frames took a fifth longer; up to 4, a twentieth).
    int reach = kind == "pan" ? 4 : 100;
    for (int i = 1; i <= steps; i++)
        command += " mousemove" + w + std::to_string(320 + i % reach) + " " +
                   std::to_string(240 + i % (reach / 2)) + " sleep 0.005";
    return command + (kind == "pan" ? " mouseup 1 keyup shift" : kind == "turn" ? " mouseup 1" : "");
}

// Milliseconds a frame while xdotool sends the input in the background.
static double ms_during(RealViewer& viewer, const std::string& kind)
{
    std::string command = moves(viewer.window().id, kind, 400) + " >/dev/null 2>&1 &";
    if (std::system(command.c_str()) != 0)
        return -1;
    viewer.frames_within(0.3);
    return viewer.ms_per_frame(1.8);
}

int main()
{
    if (!use_private_display()) {
        fprintf(stderr, "bench_model_controls: no X server of its own (Xvfb) could be started\n");
        return 1;
    }
    fs::path dir =
        fs::temp_directory_path() / ("aseview_bench_model_controls_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::string knot = generated_knot("knot1m.ase", 1000000);
    RealViewer viewer;
    viewer.start({.folder = dir,
                  .args = {knot},
                  .program = ASEVIEW_BIN,
                  .title = model_view_title(knot),
                  .env = {"ASEVIEW_VIEW=model"}});
    if (!viewer.wait_for_first_frame(120)) {
        fprintf(stderr, "bench_model_controls: no first frame\n");
        return 1;
    }
    std::vector<double> plain, informed, spin, turn, pan, zoom;
    viewer.key("f");
    viewer.frames_within(1);
    for (int r = 0; r < rounds; r++) {
        plain.push_back(viewer.ms_per_frame(3));
        viewer.key("i");
        viewer.frames_within(0.3);
        informed.push_back(viewer.ms_per_frame(3));
        viewer.key("i");
        viewer.frames_within(0.3);
    }
    for (int r = 0; r < rounds; r++) {
        // The floor: spinning frames while the same pointer moves, with no
        // button held, load the machine as the drags' input does.
        spin.push_back(ms_during(viewer, "hover"));
        viewer.key("f");
        viewer.frames_within(0.5);
        turn.push_back(ms_during(viewer, "turn"));
        pan.push_back(ms_during(viewer, "pan"));
        zoom.push_back(ms_during(viewer, "wheel"));
        viewer.key("f");
        viewer.frames_within(0.5);
    }
    bool met = true;
    double p = median(plain), i = median(informed);
    met = met && p > 0 && i / p <= goal;
    printf(
        "1. million-face knot spinning: %.1f ms a frame, with the information panel %.1f ms, %.2fx "
        "(goal: at most %.1fx): %s\n",
        p, i, i / p, goal, p > 0 && i / p <= goal ? "met" : "NOT met");
    double s = median(spin);
    printf("2. frames while spinning with the pointer moving %.1f ms", s);
    const struct {
        const char* name;
        std::vector<double>* ms;
    } inputs[] = {{"turning drag", &turn}, {"panning drag", &pan}, {"wheel", &zoom}};
    for (const auto& in : inputs) {
        double m = median(*in.ms);
        bool ok = m > 0 && s > 0 && m / s <= goal;
        met = met && ok;
        printf(", %s %.1f ms (%.2fx%s)", in.name, m, m / s, ok ? "" : ", NOT met");
    }
    printf(" (goal: at most %.1fx)\n", goal);
    viewer.stop();
    fs::remove_all(dir);
    return met ? 0 : 1;
}
