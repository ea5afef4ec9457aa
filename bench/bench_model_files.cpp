// The model view's other files, as a user meets them, in a running viewer
// on an X server of its own:
//  1. the next file's first frame (Page Down, from a one-square model to the
//     model) beside the first frame of a fresh start on the same model
//     (goal: at most half);
//  2. the model renamed over by a new copy, shown by the watch, beside F5's
//     reload of it, which is the same reading and drawing without the wait
//     for the file to be still (goal: at most 0.3 s more);
//  3. a model's texture beside it repainted (renamed over), shown by the
//     watch, beside F5 (goal: at most 0.3 s more).
// The measures take turns; the median of the rounds counts.
// Usage: bench_model_files [MODEL...]  (by default the corpus and the
// generated 100,000-face knot)
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mesh/model_files.h"
#include "bench/viewer_probe.h"

namespace fs = std::filesystem;

constexpr int rounds = 5;
constexpr double step_goal = 0.5, watch_goal_seconds = 0.3;
constexpr double patience = 120;

static const char square[] =
    "*GEOMOBJECT {\n*MESH {\n*MESH_NUMVERTEX 3\n*MESH_NUMFACES 1\n*MESH_VERTEX_LIST {\n"
    "*MESH_VERTEX 0 0 0 0\n*MESH_VERTEX 1 1 0 0\n*MESH_VERTEX 2 0 0 1\n}\n"
    "*MESH_FACE_LIST {\n*MESH_FACE 0: A: 0 B: 1 C: 2\n}\n}\n}\n";

struct times {
    std::vector<double> step, fresh, reload, watched;
};

// One model in a folder of its own as b.ase beside a.ase, a single face.
static bool measure(const fs::path& dir, const std::string& model, times* t)
{
    fs::create_directories(dir);
    std::ofstream(dir / "a.ase") << square;
    fs::copy_file(model, dir / "b.ase", fs::copy_options::overwrite_existing);
    const std::string a = (dir / "a.ase").string(), b = (dir / "b.ase").string();
    RealViewer viewer;
    viewer.start({.folder = dir, .args = {a}, .program = ASEVIEW_BIN, .title = model_view_title(a),
                  .env = {"ASEVIEW_VIEW=model"}});
    if (!viewer.wait_for_first_frame(patience))
        return false;
    for (int r = 0; r < rounds; r++) {
        fs::copy_file(model, dir / "b.new", fs::copy_options::overwrite_existing);
        t->step.push_back(viewer.seconds_to_frame_after([&] { viewer.key("Next"); }, patience));
        t->reload.push_back(viewer.seconds_to_frame_after([&] { viewer.key("F5"); }, patience));
        t->watched.push_back(viewer.seconds_to_frame_after([&] { fs::rename(dir / "b.new", b); }, patience));
        viewer.seconds_to_frame_after([&] { viewer.key("Next"); }, patience);
        t->fresh.push_back(seconds_to_first_frame(
            {.folder = dir, .args = {b}, .program = ASEVIEW_BIN, .title = model_view_title(b),
             .env = {"ASEVIEW_VIEW=model"}}));
    }
    return true;
}

// A 256 x 256 uncompressed 24-bit Targa of one colour.
static void write_targa(const fs::path& path, unsigned char shade)
{
    std::string bytes(18, '\0');
    bytes[2] = 2;
    bytes[12] = bytes[14] = 0;
    bytes[13] = bytes[15] = 1;
    bytes[16] = 24;
    bytes.append(size_t(256) * 256 * 3, char(shade));
    std::ofstream(path, std::ios::binary) << bytes;
}

// F5 and the watched repaint of a textured box's texture, in turns.
static bool measure_repaint(const fs::path& dir, std::vector<double>* reload, std::vector<double>* watched)
{
    fs::create_directories(dir);
    const std::string model = (dir / "box.ase").string();
    write_boxes_model(model, {"paint.tga"});
    write_targa(dir / "paint.tga", 40);
    RealViewer viewer;
    viewer.start({.folder = dir, .args = {model}, .program = ASEVIEW_BIN, .title = model_view_title(model),
                  .env = {"ASEVIEW_VIEW=model"}});
    if (!viewer.wait_for_first_frame(patience))
        return false;
    for (int r = 0; r < rounds; r++) {
        write_targa(dir / "paint.new", (unsigned char)(80 + 40 * (r % 4)));
        reload->push_back(viewer.seconds_to_frame_after([&] { viewer.key("F5"); }, patience));
        watched->push_back(
            viewer.seconds_to_frame_after([&] { fs::rename(dir / "paint.new", dir / "paint.tga"); }, patience));
    }
    return true;
}

int main(int argc, char** argv)
{
    if (!use_private_display()) {
        fprintf(stderr, "bench_model_files: no X server of its own (Xvfb) could be started\n");
        return 1;
    }
    fs::path dir = fs::temp_directory_path() / ("aseview_bench_model_files_" + std::to_string(getpid()));
    std::vector<std::string> models;
    for (int i = 1; i < argc; i++)
        models.push_back(fs::absolute(argv[i]).string());
    if (models.empty()) {
        models = corpus_models(ASEVIEW_CORPUS);
        models.push_back(generated_knot("knot100k.ase", 100000));
    }
    printf("median of %d rounds in turns; times to the first frame in seconds\n", rounds);
    printf("%-28s %8s %8s %7s %8s %8s %8s\n", "model", "step", "fresh", "ratio", "F5", "watched", "wait");
    double worst_ratio = 0, worst_wait = 0;
    bool met = true;
    for (size_t i = 0; i < models.size(); i++) {
        // A file that is no model is passed over by a step.
        std::string why;
        if (!read_model_file(models[i], &why)) {
            printf("%-28s not a model: %s\n", fs::path(models[i]).filename().c_str(), why.c_str());
            continue;
        }
        times t;
        bool ran = measure(dir / std::to_string(i), models[i], &t);
        double step = median(t.step), fresh = median(t.fresh), reload = median(t.reload),
               watched = median(t.watched);
        bool seen = ran && std::min({step, fresh, reload, watched}) > 0;
        met = met && seen;
        worst_ratio = std::max(worst_ratio, step / fresh);
        worst_wait = std::max(worst_wait, watched - reload);
        printf("%-28s %8.3f %8.3f %6.2fx %8.3f %8.3f %8.3f%s\n", fs::path(models[i]).filename().c_str(), step,
               fresh, step / fresh, reload, watched, watched - reload, seen ? "" : "  (frames missing)");
        fflush(stdout);
    }
    std::vector<double> repaint_reload, repaint_watched;
    bool repainted = measure_repaint(dir / "repaint", &repaint_reload, &repaint_watched);
    double texture_wait = median(repaint_watched) - median(repaint_reload);
    printf("%-28s %8s %8s %7s %8.3f %8.3f %8.3f%s\n", "texture repainted", "", "", "", median(repaint_reload),
           median(repaint_watched), texture_wait, repainted ? "" : "  (frames missing)");
    worst_wait = std::max(worst_wait, texture_wait);
    met = met && repainted && worst_ratio <= step_goal && worst_wait <= watch_goal_seconds;
    printf("worst step/fresh %.2fx (goal: at most %.1fx); worst wait of the watch %.3f s (goal: at most %.1f s): %s\n",
           worst_ratio, step_goal, worst_wait, watch_goal_seconds, met ? "met" : "NOT met");
    fs::remove_all(dir);
    return met ? 0 : 1;
}
