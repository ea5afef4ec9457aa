// aseview-export against what it is held to:
//  1. the million-face knot exported beside `assimp export` of the same file
//     to GLB, in turns (goal: at least 5x faster by the medians);
//  2. a folder of 50 small and medium models (knots of 1,225 to 10,000 faces
//     and textured boxes) exported in one call beside one call per model,
//     one model at a time both ways (goal: at least 2x faster per model);
//  3. the exporter's peak memory on the knot beside the model view's at its
//     first frame of the same file, on an X server of its own (goal: at
//     most 2x).
// The load average is printed before and after: other work on the machine
// slows both sides of a comparison, so the ratios count, not the times.
// Usage: bench_export [ROUNDS]   (default 5)
#include <sys/types.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/viewer_probe.h"

namespace fs = std::filesystem;

static void print_load(const char* when)
{
    double load[3];
    if (getloadavg(load, 3) == 3)
        printf("load average %s: %.2f %.2f %.2f (%ld cores)\n", when, load[0], load[1], load[2],
               sysconf(_SC_NPROCESSORS_ONLN));
}

struct medians {
    double wall, cpu, peak_mb;
};

static medians median_of(const std::vector<timing>& runs)
{
    std::vector<double> wall, cpu, peak;
    for (const timing& t : runs) {
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
        peak.push_back(t.peak_mb);
    }
    return {median(wall), median(cpu), median(peak)};
}

static bool all_ran(const std::vector<timing>& runs)
{
    for (const timing& t : runs)
        if (t.wall < 0)
            return false;
    return !runs.empty();
}

static void verdict(const char* what, double ratio, double goal, bool at_least)
{
    bool met = at_least ? ratio >= goal : ratio <= goal;
    printf("%s: %.2fx (goal: %s %.1fx) %s\n", what, ratio, at_least ? "at least" : "at most", goal,
           met ? "met" : "NOT MET");
}

// Returns our median peak memory on the knot, in MB.
static double knot_against_assimp(const fs::path& dir, const std::string& knot, int rounds)
{
    std::vector<timing> ours, theirs;
    std::string our_out = (dir / "ours.glb").string(), their_out = (dir / "theirs.glb").string();
    for (int r = 0; r < rounds; r++) {
        ours.push_back(run_program({EXPORT_BIN, knot, our_out}, nullptr, false));
        theirs.push_back(run_program({"assimp", "export", knot, their_out}, nullptr, false));
    }
    medians a = median_of(ours), b = median_of(theirs);
    printf("knot of 1,000,000 faces, median of %d rounds in turns:\n", rounds);
    printf("  aseview-export  %.3f s wall  %.3f s cpu  %.0f MB peak\n", a.wall, a.cpu, a.peak_mb);
    if (!all_ran(theirs)) {
        printf("  assimp export   failed or not installed (scripts/install-deps test)\n");
        return a.peak_mb;
    }
    printf("  assimp export   %.3f s wall  %.3f s cpu  %.0f MB peak\n", b.wall, b.cpu, b.peak_mb);
    verdict("  faster than assimp (wall)", b.wall / a.wall, 5.0, true);
    verdict("  faster than assimp (cpu)", b.cpu / a.cpu, 5.0, true);
    return a.peak_mb;
}

// A 64 x 64 Targa of stripes, to be decoded and stored as PNG.
static void write_stripes_targa(const fs::path& path)
{
    unsigned char header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 64, 0, 64, 0, 32, 8};
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    for (int i = 0; i < 64 * 64; i++) {
        unsigned char bgra[4] = {(i / 8) % 2 ? (unsigned char)200 : (unsigned char)40, 90, 160, 255};
        out.write(reinterpret_cast<const char*>(bgra), 4);
    }
}

// 40 knots of 1,225 to 10,000 faces and 10 models of four textured boxes.
static fs::path batch_folder(const fs::path& dir)
{
    fs::path models = dir / "models";
    fs::create_directories(models);
    for (int i = 1; i <= 40; i++) {
        int faces = 1000 + i * 225;
        std::string name = "knot" + std::to_string(faces) + ".ase";
        fs::copy_file(generated_knot(name.c_str(), faces), models / name, fs::copy_options::overwrite_existing);
    }
    write_stripes_targa(models / "stripes.tga");
    for (int i = 0; i < 10; i++)
        write_boxes_model((models / ("boxes" + std::to_string(i) + ".ase")).string(),
                          {"stripes.tga", "stripes.tga", "stripes.tga", "stripes.tga"});
    return models;
}

static void batch_against_single_calls(const fs::path& dir, int rounds)
{
    fs::path models = batch_folder(dir), out = dir / "out";
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(models))
        if (entry.path().extension() == ".ase")
            files.push_back(entry.path().string());
    std::vector<timing> batch, single;
    for (int r = 0; r < rounds; r++) {
        fs::remove_all(out);
        batch.push_back(run_program({EXPORT_BIN, "-j", "1", "-o", out.string(), models.string()}, nullptr, false));
        fs::remove_all(out);
        fs::create_directories(out);
        timing sum = {0, 0};
        for (const std::string& file : files) {
            timing t = run_program({EXPORT_BIN, file, (out / "one.glb").string()}, nullptr, false);
            sum.wall = t.wall < 0 || sum.wall < 0 ? -1 : sum.wall + t.wall;
            sum.cpu += t.cpu;
        }
        single.push_back(sum);
    }
    if (!all_ran(batch) || !all_ran(single)) {
        printf("folder of models: an export failed\n");
        return;
    }
    double n = double(files.size());
    medians a = median_of(batch), b = median_of(single);
    printf("folder of %zu models, one at a time, median of %d rounds in turns:\n", files.size(), rounds);
    printf("  one call          %.2f ms wall  %.2f ms cpu a model\n", a.wall * 1e3 / n, a.cpu * 1e3 / n);
    printf("  a call per model  %.2f ms wall  %.2f ms cpu a model\n", b.wall * 1e3 / n, b.cpu * 1e3 / n);
    verdict("  one call faster per model (wall)", b.wall / a.wall, 2.0, true);
}

// The model view's peak memory at its first frame of the model, in MB; 0
// when it cannot be shown.
static double model_view_peak_mb(const std::string& model)
{
    RealViewer viewer;
    fs::path path(model);
    viewer.start({.folder = path.parent_path().string(),
                  .args = {path.filename().string()},
                  .program = ASEVIEW_BIN,
                  .title = model_view_title(path.filename().string()),
                  .env = {"ASEVIEW_VIEW=model"}});
    return viewer.wait_for_first_frame(120) ? process_peak_mb(viewer.pid()) : 0;
}

static void memory_against_model_view(const std::string& knot, double ours_mb, int rounds)
{
    if (!use_private_display()) {
        printf("memory: no X server of its own (Xvfb) for the model view\n");
        return;
    }
    std::vector<double> view;
    for (int r = 0; r < rounds; r++)
        view.push_back(model_view_peak_mb(knot));
    double view_mb = median(view);
    printf("peak memory on the knot: aseview-export %.0f MB, model view %.0f MB\n", ours_mb, view_mb);
    if (view_mb > 0)
        verdict("  exporter beside the model view", ours_mb / view_mb, 2.0, false);
}

int main(int argc, char** argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 5;
    if (rounds < 1) {
        fprintf(stderr, "usage: bench_export [ROUNDS]\n");
        return 2;
    }
    fs::path dir = fs::temp_directory_path() / ("aseview_bench_export_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::string knot = generated_knot("knot1m.ase", 1000000);
    print_load("before");
    double ours_mb = knot_against_assimp(dir, knot, rounds);
    batch_against_single_calls(dir, rounds);
    memory_against_model_view(knot, ours_mb, rounds < 3 ? rounds : 3);
    print_load("after");
    fs::remove_all(dir);
    return 0;
}
