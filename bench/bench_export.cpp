// aseview-export against what it is held to:
//  1. the million-face knot exported beside `assimp export` of the same file
//     to GLB, in turns (goal: at least 5x faster by the medians);
//  2. the same knot exported with --plain beside the earlier build, which
//     writes the same plain materials (goal: at most 1.1x);
//  3. a folder of 50 small and medium models (knots of 1,225 to 10,000 faces
//     and textured boxes) exported in one call beside one call per model,
//     one model at a time both ways (goal: at least 2x faster per model);
//  4. a mission: ten models naming six id Tech 4 materials of diffuse, bump
//     and specular maps of 512 x 512, exported in one call by one worker
//     beside each model alone (goal: at most 0.5x per model, the maps one
//     worker converted kept for the next model), the earlier build beside
//     for reference;
//  5. a knot of 300,000 faces whose material has diffuse, bump and specular
//     maps of 1024 x 1024, exported whole beside --plain (goal: at most
//     1.5x);
//  6. the exporter's peak memory on the million-face knot and on the model
//     of maps beside the model view's at its first frame of the same file,
//     on an X server of its own (goal: at most 2x).
// The load average is printed before and after: other work on the machine
// slows both sides of a comparison, so the ratios count, not the times.
// Usage: bench_export [ROUNDS [EARLIER_EXPORT]]   (default 5 rounds;
// EARLIER_EXPORT, the aseview-export of the build before, for cases 2 and 4)
#include <sys/types.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
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

static void print_medians(const char* label, const medians& m)
{
    printf("  %-22s %.3f s wall  %.3f s cpu  %.0f MB peak\n", label, m.wall, m.cpu, m.peak_mb);
}

static std::string quoted(const std::string& text)
{
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// What the program prints, its errors and its output together.
static std::string output_of(const std::vector<std::string>& argv)
{
    std::string command;
    for (const std::string& arg : argv)
        command += quoted(arg) + " ";
    command += "2>&1";
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, n);
        pclose(pipe);
    }
    return text;
}

// The flag is new: a build that does not list it in its help would refuse it.
static bool knows_plain(const std::string& exporter)
{
    return output_of({exporter, "--help"}).find("--plain") != std::string::npos;
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
    print_medians("aseview-export", a);
    if (!all_ran(theirs)) {
        printf("  assimp export   failed or not installed (scripts/install-deps test)\n");
        return a.peak_mb;
    }
    print_medians("assimp export", b);
    verdict("  faster than assimp (wall)", b.wall / a.wall, 5.0, true);
    verdict("  faster than assimp (cpu)", b.cpu / a.cpu, 5.0, true);
    return a.peak_mb;
}

// --plain writes what the earlier build wrote: it must cost no more.
static void plain_against_earlier(const fs::path& dir, const std::string& knot, const std::string& earlier,
                                  bool plain, int rounds)
{
    printf("knot of 1,000,000 faces, --plain beside the earlier build:\n");
    if (earlier.empty() || !plain) {
        printf("  skipped: %s\n", earlier.empty() ? "no earlier aseview-export given" : "this build has no --plain");
        return;
    }
    std::vector<timing> ours, theirs;
    std::string out = (dir / "plain.glb").string();
    for (int r = 0; r < rounds; r++) {
        ours.push_back(run_program({EXPORT_BIN, "--plain", knot, out}, nullptr, false));
        theirs.push_back(run_program({earlier, knot, out}, nullptr, false));
    }
    if (!all_ran(ours) || !all_ran(theirs)) {
        printf("  an export failed\n");
        return;
    }
    medians a = median_of(ours), b = median_of(theirs);
    printf("  median of %d rounds in turns:\n", rounds);
    print_medians("--plain", a);
    print_medians("earlier build", b);
    verdict("  --plain beside the earlier build (wall)", a.wall / b.wall, 1.1, false);
    verdict("  --plain beside the earlier build (cpu)", a.cpu / b.cpu, 1.1, false);
}

using texel_of = std::function<std::array<uint8_t, 4>(int x, int y)>;  // RGBA

// An uncompressed 32-bit Targa of side x side texels, bottom row first.
static void write_targa(const fs::path& path, int side, const texel_of& texel)
{
    unsigned char header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    header[12] = header[14] = uint8_t(side & 255);
    header[13] = header[15] = uint8_t(side >> 8);
    header[16] = 32;
    header[17] = 8;
    std::vector<uint8_t> bgra(size_t(side) * side * 4);
    for (int y = 0; y < side; y++)
        for (int x = 0; x < side; x++) {
            std::array<uint8_t, 4> t = texel(x, y);
            uint8_t* out = &bgra[(size_t(y) * side + size_t(x)) * 4];
            out[0] = t[2], out[1] = t[1], out[2] = t[0], out[3] = t[3];
        }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    out.write(reinterpret_cast<const char*>(bgra.data()), std::streamsize(bgra.size()));
    if (!out) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        exit(1);
    }
}

// A 64 x 64 Targa of stripes, to be decoded and stored as PNG.
static void write_stripes_targa(const fs::path& path)
{
    write_targa(path, 64, [](int x, int) {
        return std::array<uint8_t, 4>{160, 90, uint8_t(x / 8 % 2 ? 200 : 40), 255};
    });
}

static uint32_t grain(int x, int y, int seed)
{
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + uint32_t(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// A surface of waves and rivets with a fine grain, 0 to 1, repeating across
// the side: the maps' content, varied enough that PNG encoding is real work.
static double height(int x, int y, int side, int seed)
{
    const double turn = 2 * std::numbers::pi;
    double u = double(x) / side, v = double(y) / side;
    double waves = 0.5 + 0.2 * std::sin(turn * (3 * u + 0.3 * seed)) * std::cos(turn * (2 + seed % 3) * v) +
                   0.1 * std::sin(turn * (7 * (u + v) + seed));
    double cu = std::fmod(u * 8, 1.0) - 0.5, cv = std::fmod(v * 8, 1.0) - 0.5;
    double rivet = std::max(0.0, 0.12 - (cu * cu + cv * cv)) * 1.2;
    return std::clamp(waves + rivet + (grain(x, y, seed) & 255) / 255.0 * 0.08, 0.0, 1.0);
}

// The diffuse, bump (the normal map of the same surface, in tangent space)
// and specular maps of textures/GROUP/NAME: NAME_d, NAME_local and NAME_s.
static void write_material_maps(const fs::path& folder, const std::string& name, int side, int seed)
{
    write_targa(folder / (name + "_d.tga"), side, [&](int x, int y) {
        double h = height(x, y, side, seed);
        uint32_t g = grain(x, y, seed + 7);
        return std::array<uint8_t, 4>{uint8_t(60 + 150 * h + (g & 15)), uint8_t(40 + 120 * h * x / side + (g >> 8 & 15)),
                                      uint8_t(30 + 90 * (1 - h) + (g >> 16 & 15)), 255};
    });
    write_targa(folder / (name + "_local.tga"), side, [&](int x, int y) {
        const double depth = 6.0;
        double dx = height((x + 1) % side, y, side, seed) - height((x + side - 1) % side, y, side, seed);
        double dy = height(x, (y + 1) % side, side, seed) - height(x, (y + side - 1) % side, side, seed);
        double n[3] = {-dx * depth, -dy * depth, 1}, length = std::sqrt(n[0] * n[0] + n[1] * n[1] + 1);
        auto encoded = [&](double c) { return uint8_t(std::lround(127.5 + 127.5 * c / length)); };
        return std::array<uint8_t, 4>{encoded(n[0]), encoded(n[1]), encoded(n[2]), 255};
    });
    write_targa(folder / (name + "_s.tga"), side, [&](int x, int y) {
        uint8_t s = uint8_t(40 + 180 * height(x, y, side, seed) * height(x, y, side, seed + 1));
        return std::array<uint8_t, 4>{s, s, s, 255};
    });
}

// A game tree's materials/GROUP.mtr declaring textures/GROUP/NAME for each
// name, of diffuse, bump and specular maps of side x side texels, written
// under textures/GROUP/.
static void write_material_tree(const fs::path& root, const std::string& group, const std::vector<std::string>& names,
                                int side)
{
    fs::path maps = root / "textures" / group;
    fs::create_directories(maps);
    fs::create_directories(root / "materials");
    std::ofstream mtr(root / "materials" / (group + ".mtr"));
    for (size_t i = 0; i < names.size(); i++) {
        std::string base = "textures/" + group + "/" + names[i];
        mtr << base << "\n{\n\tdiffusemap " << base << "_d.tga\n\tbumpmap " << base << "_local.tga\n\tspecularmap "
            << base << "_s.tga\n}\n\n";
        write_material_maps(maps, names[i], side, int(i));
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

static std::vector<std::string> ase_files(const fs::path& models)
{
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(models))
        if (entry.path().extension() == ".ase")
            files.push_back(entry.path().string());
    return files;
}

// The folder's models in one call by one worker, into a fresh `out`.
static timing one_call(const std::string& exporter, const fs::path& models, const fs::path& out)
{
    fs::remove_all(out);
    return run_program({exporter, "-j", "1", "-o", out.string(), models.string()}, nullptr, false);
}

// The models one call each: the calls' times summed, negative if one failed.
static timing call_per_model(const std::string& exporter, const std::vector<std::string>& files, const fs::path& out)
{
    fs::remove_all(out);
    fs::create_directories(out);
    timing sum = {0, 0};
    for (const std::string& file : files) {
        timing t = run_program({exporter, file, (out / "one.glb").string()}, nullptr, false);
        sum.wall = t.wall < 0 || sum.wall < 0 ? -1 : sum.wall + t.wall;
        sum.cpu += t.cpu;
    }
    return sum;
}

static void print_per_model(const char* label, const medians& m, double n)
{
    printf("  %-24s %.2f ms wall  %.2f ms cpu a model\n", label, m.wall * 1e3 / n, m.cpu * 1e3 / n);
}

static void batch_against_single_calls(const fs::path& dir, int rounds)
{
    fs::path models = batch_folder(dir), out = dir / "out";
    std::vector<std::string> files = ase_files(models);
    std::vector<timing> batch, single;
    for (int r = 0; r < rounds; r++) {
        batch.push_back(one_call(EXPORT_BIN, models, out));
        single.push_back(call_per_model(EXPORT_BIN, files, out));
    }
    if (!all_ran(batch) || !all_ran(single)) {
        printf("folder of models: an export failed\n");
        return;
    }
    double n = double(files.size());
    medians a = median_of(batch), b = median_of(single);
    printf("folder of %zu models, one at a time, median of %d rounds in turns:\n", files.size(), rounds);
    print_per_model("one call", a, n);
    print_per_model("a call per model", b, n);
    verdict("  one call faster per model (wall)", b.wall / a.wall, 2.0, true);
}

// A mission's tree: six materials, and in models/ five knots of 20,000
// faces naming one each and five models of three boxes naming three each,
// so that every material's maps serve several models.
static fs::path mission_tree(const fs::path& dir)
{
    fs::path root = dir / "mission", models = root / "models";
    std::vector<std::string> names;
    for (int m = 1; m <= 6; m++)
        names.push_back("m" + std::to_string(m));
    write_material_tree(root, "mission", names, 512);
    fs::create_directories(models);
    auto bitmap = [&](int i) { return "textures/mission/" + names[size_t(i) % names.size()] + ".tga"; };
    for (int i = 0; i < 5; i++) {
        std::string name = "knot20000_mission_" + names[size_t(i)] + ".ase", map = bitmap(i);
        fs::copy_file(generated_knot(name.c_str(), 20000, map.c_str()), models / ("knot" + std::to_string(i) + ".ase"),
                      fs::copy_options::overwrite_existing);
        write_boxes_model((models / ("boxes" + std::to_string(i) + ".ase")).string(),
                          {bitmap(i + 1), bitmap(i + 3), bitmap(i + 5)});
    }
    return models;
}

// The exporter's summary of the folder, which must find every texture and
// map: a fixture the exporter cannot resolve would measure too little.
static bool mission_resolves(const fs::path& models, const fs::path& out)
{
    fs::remove_all(out);
    std::string text = output_of({EXPORT_BIN, "-j", "1", "-o", out.string(), models.string()});
    size_t line = text.rfind("exported ");
    std::string summary = line == std::string::npos ? "no summary" : text.substr(line, text.find('\n', line) - line);
    printf("  %s\n", summary.c_str());
    return summary.find("(0 textures not found, 0 failed)") != std::string::npos &&
           text.find("not found: ") == std::string::npos;
}

struct folder_and_alone {
    std::vector<timing> folder, alone;
};

static void print_mission(const char* build, const folder_and_alone& runs, double n, bool goal)
{
    if (!all_ran(runs.folder) || !all_ran(runs.alone)) {
        printf("  %s: an export failed\n", build);
        return;
    }
    medians a = median_of(runs.folder), b = median_of(runs.alone);
    printf("  %s:\n", build);
    print_per_model("  one call", a, n);
    print_per_model("  each model alone", b, n);
    if (goal) {
        verdict("    one call beside alone (wall)", a.wall / b.wall, 0.5, false);
        verdict("    one call beside alone (cpu)", a.cpu / b.cpu, 0.5, false);
    } else {
        printf("    one call beside alone: %.2fx wall  %.2fx cpu (for reference)\n", a.wall / b.wall, a.cpu / b.cpu);
    }
}

static void mission_against_alone(const fs::path& dir, const std::string& earlier, int rounds)
{
    printf("mission of 10 models naming 6 materials of 3 maps of 512 x 512:\n");
    fs::path models = mission_tree(dir), out = dir / "mission_out";
    if (!mission_resolves(models, out))
        printf("  the models' textures or maps are not all found: the times below convert less than they should\n");
    std::vector<std::string> files = ase_files(models);
    folder_and_alone ours, theirs;
    for (int r = 0; r < rounds; r++) {
        ours.folder.push_back(one_call(EXPORT_BIN, models, out));
        ours.alone.push_back(call_per_model(EXPORT_BIN, files, out));
        if (earlier.empty())
            continue;
        theirs.folder.push_back(one_call(earlier, models, out));
        theirs.alone.push_back(call_per_model(earlier, files, out));
    }
    printf("  median of %d rounds in turns, by one worker:\n", rounds);
    print_mission("this build", ours, double(files.size()), true);
    if (earlier.empty())
        printf("  earlier build: skipped: no earlier aseview-export given\n");
    else
        print_mission("earlier build", theirs, double(files.size()), false);
}

// A knot of 300,000 faces in a tree whose material gives it diffuse, bump
// and specular maps of 1024 x 1024.
static std::string maps_model(const fs::path& dir)
{
    fs::path root = dir / "maps";
    write_material_tree(root, "maps", {"hull"}, 1024);
    fs::create_directories(root / "models");
    fs::path model = root / "models" / "hull.ase";
    fs::copy_file(generated_knot("knot300k_maps_hull.ase", 300000, "textures/maps/hull.tga"), model,
                  fs::copy_options::overwrite_existing);
    return model.string();
}

// Returns the whole export's median peak memory, in MB.
static double maps_against_plain(const fs::path& dir, const std::string& model, bool plain, int rounds)
{
    std::vector<timing> whole, plain_runs;
    std::string out = (dir / "maps.glb").string();
    for (int r = 0; r < rounds; r++) {
        whole.push_back(run_program({EXPORT_BIN, model, out}, nullptr, false));
        if (plain)
            plain_runs.push_back(run_program({EXPORT_BIN, "--plain", model, out}, nullptr, false));
    }
    printf("knot of 300,000 faces with diffuse, bump and specular maps of 1024 x 1024, median of %d rounds in turns:\n",
           rounds);
    medians a = median_of(whole);
    if (!all_ran(whole) || (plain && !all_ran(plain_runs))) {
        printf("  an export failed\n");
        return 0;
    }
    print_medians("whole materials", a);
    if (!plain) {
        printf("  --plain: skipped: this build has no --plain\n");
        return a.peak_mb;
    }
    medians b = median_of(plain_runs);
    print_medians("--plain", b);
    verdict("  whole materials beside --plain (wall)", a.wall / b.wall, 1.5, false);
    verdict("  whole materials beside --plain (cpu)", a.cpu / b.cpu, 1.5, false);
    return a.peak_mb;
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

static void memory_against_model_view(const char* what, const std::string& model, double ours_mb, int rounds)
{
    std::vector<double> view;
    for (int r = 0; r < rounds; r++)
        view.push_back(model_view_peak_mb(model));
    double view_mb = median(view);
    printf("peak memory on %s: aseview-export %.0f MB, model view %.0f MB\n", what, ours_mb, view_mb);
    if (view_mb > 0 && ours_mb > 0)
        verdict("  exporter beside the model view", ours_mb / view_mb, 2.0, false);
}

int main(int argc, char** argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 5;
    std::string earlier = argc > 2 ? argv[2] : "";
    if (rounds < 1 || argc > 3) {
        fprintf(stderr, "usage: bench_export [ROUNDS [EARLIER_EXPORT]]\n");
        return 2;
    }
    if (!earlier.empty() && access(earlier.c_str(), X_OK) != 0) {
        fprintf(stderr, "bench_export: %s: not an executable\n", earlier.c_str());
        return 2;
    }
    fs::path dir = fs::temp_directory_path() / ("aseview_bench_export_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::string knot = generated_knot("knot1m.ase", 1000000);
    bool plain = knows_plain(EXPORT_BIN);
    print_load("before");
    double knot_mb = knot_against_assimp(dir, knot, rounds);
    plain_against_earlier(dir, knot, earlier, plain, rounds);
    batch_against_single_calls(dir, rounds);
    mission_against_alone(dir, earlier, rounds);
    std::string maps = maps_model(dir);
    double maps_mb = maps_against_plain(dir, maps, plain, rounds);
    int view_rounds = rounds < 3 ? rounds : 3;
    if (use_private_display()) {
        memory_against_model_view("the knot", knot, knot_mb, view_rounds);
        memory_against_model_view("the knot of maps", maps, maps_mb, view_rounds);
    } else {
        printf("memory: no X server of its own (Xvfb) for the model view\n");
    }
    print_load("after");
    fs::remove_all(dir);
    return 0;
}
