// The model view's game look against what it replaces, as a user meets it:
//  1. the million-face knot's first frame, this build beside an earlier one
//     (goal: at most 1.15x);
//  2. a 300,000-face model whose material has diffuse, bump and specular
//     maps: its first frame beside the earlier build, which draws it plain
//     (goal: at most 1.3x), and its spinning frame beside the editor's look
//     (goal: at most 1.5x);
//  3. an animated material on a small model: frames a second (goal: at most
//     60) and share of a core (goal: at most 60 %), and the share paused and
//     for a static material (goal: 0 %).
// Measures take turns with what they are compared with; the median of the
// rounds counts. Runs on an X server of its own.
// Usage: bench_game_look [EARLIER_ASEVIEW [--first-frames]]  (a build of the
// viewer before the game look; without one, measures 1 and 2's first frames
// are skipped; with --first-frames only they are measured)
#include <png.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/viewer_probe.h"

namespace fs = std::filesystem;

constexpr int rounds = 5;

static void write_png(const fs::path& path, int side, unsigned char r, unsigned char g, unsigned char b)
{
    std::vector<unsigned char> rgb(size_t(side) * size_t(side) * 3);
    for (size_t i = 0; i < rgb.size(); i += 3)
        rgb[i] = r, rgb[i + 1] = g, rgb[i + 2] = b;
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = image.height = png_uint_32(side);
    image.format = PNG_FORMAT_RGB;
    png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr);
}

// A grid of quads, rows x rows x 2 faces, in one material, with texture
// coordinates and vertex normals, under a game's models/ folder.
static void write_grid(const fs::path& path, int rows, const std::string& bitmap)
{
    std::ofstream out(path);
    int n = rows + 1;
    out << "*3DSMAX_ASCIIEXPORT 200\n*MATERIAL_LIST {\n*MATERIAL_COUNT 1\n*MATERIAL 0 {\n"
        << "*MATERIAL_DIFFUSE 0.5 0.5 0.5\n*MAP_DIFFUSE {\n*BITMAP \"" << bitmap << "\"\n}\n}\n}\n"
        << "*GEOMOBJECT {\n*MESH {\n*MESH_NUMVERTEX " << n * n << "\n*MESH_NUMFACES " << rows * rows * 2
        << "\n*MESH_VERTEX_LIST {\n";
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++)
            out << "*MESH_VERTEX " << j * n + i << " " << i << " " << std::sin(i * 0.3) * 3 << " " << j << "\n";
    out << "}\n*MESH_FACE_LIST {\n";
    int f = 0;
    for (int j = 0; j < rows; j++)
        for (int i = 0; i < rows; i++) {
            int a = j * n + i;
            out << "*MESH_FACE " << f++ << ": A: " << a << " B: " << a + 1 << " C: " << a + n + 1 << "\n";
            out << "*MESH_FACE " << f++ << ": A: " << a << " B: " << a + n + 1 << " C: " << a + n << "\n";
        }
    out << "}\n*MESH_NUMTVERTEX " << n * n << "\n*MESH_TVERTLIST {\n";
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++)
            out << "*MESH_TVERT " << j * n + i << " " << i * 0.1 << " " << j * 0.1 << " 0\n";
    out << "}\n*MESH_NUMTVFACES " << rows * rows * 2 << "\n*MESH_TFACELIST {\n";
    f = 0;
    for (int j = 0; j < rows; j++)
        for (int i = 0; i < rows; i++) {
            int a = j * n + i;
            out << "*MESH_TFACE " << f++ << " " << a << " " << a + 1 << " " << a + n + 1 << "\n";
            out << "*MESH_TFACE " << f++ << " " << a << " " << a + n + 1 << " " << a + n << "\n";
        }
    out << "}\n}\n*MATERIAL_REF 0\n}\n";
}

// A Doom 3 tree whose one material has all three maps, and a Quake III one
// whose shader scrolls.
static std::string lit_tree(const fs::path& dir, int rows)
{
    fs::path base = dir / "lit" / "base";
    fs::create_directories(base / "materials");
    fs::create_directories(base / "textures" / "bench");
    fs::create_directories(base / "models");
    write_png(base / "textures/bench/d.png", 512, 180, 120, 90);
    write_png(base / "textures/bench/n.png", 512, 150, 128, 240);
    write_png(base / "textures/bench/s.png", 512, 90, 90, 90);
    std::ofstream(base / "materials/bench.mtr")
        << "textures/bench/lit\n{\ndiffusemap textures/bench/d.png\nbumpmap textures/bench/n.png\n"
        << "specularmap textures/bench/s.png\n}\n";
    std::string model = (base / "models" / "grid.ase").string();
    write_grid(model, rows, "textures/bench/lit");
    return model;
}

static std::string animated_tree(const fs::path& dir, const char* name, const char* stage)
{
    fs::path game = dir / name / "baseq3";
    fs::create_directories(game / "scripts");
    fs::create_directories(game / "models");
    std::ofstream(game / "scripts/bench.shader") << "textures/bench/anim\n{\n{\nmap $whiteimage\n" << stage << "\n}\n}\n";
    std::string model = (game / "models" / "grid.ase").string();
    write_grid(model, 10, "textures/bench/anim");
    return model;
}

static double first_frame(const fs::path& dir, const std::string& program, const std::string& model,
                          const std::vector<std::string>& env = {})
{
    std::vector<std::string> all = env;
    all.push_back("ASEVIEW_VIEW=model");
    return seconds_to_first_frame(
        {.folder = dir, .args = {model}, .program = program, .title = model_view_title(model), .env = all});
}

static double spinning_ms(const fs::path& dir, const std::string& model, const char* look)
{
    RealViewer viewer;
    viewer.start({.folder = dir, .args = {model}, .program = ASEVIEW_BIN, .title = model_view_title(model),
                  .env = {"ASEVIEW_VIEW=model", std::string("ASEVIEW_LOOK=") + look}});
    if (!viewer.wait_for_first_frame(120) || !viewer.key("f"))
        return -1;
    viewer.frames_within(1);
    return viewer.ms_per_frame(4);
}

// Frames a second and core share over a few seconds; the clock paused
// first when asked.
static void animation(const fs::path& dir, const std::string& model, bool paused, double* fps, double* share)
{
    RealViewer viewer;
    viewer.start({.folder = dir, .args = {model}, .program = ASEVIEW_BIN, .title = model_view_title(model),
                  .env = {"ASEVIEW_VIEW=model"}});
    *fps = *share = -1;
    if (!viewer.wait_for_first_frame(120))
        return;
    if (paused)
        viewer.key("space");
    viewer.frames_within(1);
    *fps = viewer.frames_within(3) / 3.0;
    *share = viewer.core_share(3);
}

static bool report(const char* what, double value, double goal, const char* unit)
{
    bool met = value >= 0 && value <= goal;
    printf("%-58s %8.3f %s (goal at most %.3g) %s\n", what, value, unit, goal, met ? "met" : "NOT MET");
    return met;
}

int main(int argc, char** argv)
{
    if (!use_private_display()) {
        fprintf(stderr, "bench_game_look: no X server of its own (Xvfb) could be started\n");
        return 1;
    }
    std::string earlier = argc > 1 ? fs::absolute(argv[1]).string() : "";
    fs::path dir = fs::temp_directory_path() / ("aseview_bench_game_look_" + std::to_string(getpid()));
    fs::create_directories(dir);
    copy_run_files({"map2.tga"}, dir);
    bool met = true;
    std::string knot = generated_knot("knot1m.ase", 1000000), lit = lit_tree(dir, 387);

    if (!earlier.empty()) {
        std::vector<double> ours, theirs, lit_ours, lit_theirs;
        for (int r = 0; r < rounds; r++) {
            ours.push_back(first_frame(dir, ASEVIEW_BIN, knot));
            theirs.push_back(first_frame(dir, earlier, knot));
            lit_ours.push_back(first_frame(dir, ASEVIEW_BIN, lit));
            lit_theirs.push_back(first_frame(dir, earlier, lit));
        }
        printf("1. knot of 1M faces, first frame: %.3f s, earlier build %.3f s\n", median(ours), median(theirs));
        met &= report("   ratio", median(ours) / median(theirs), 1.15, "x");
        printf("2. lit grid of 300k faces, first frame: %.3f s, earlier build %.3f s\n", median(lit_ours),
               median(lit_theirs));
        met &= report("   ratio", median(lit_ours) / median(lit_theirs), 1.3, "x");
    }
    if (argc > 2 && std::string(argv[2]) == "--first-frames") {
        fs::remove_all(dir);
        return met ? 0 : 1;
    }
    std::vector<double> game, editor;
    for (int r = 0; r < 3; r++) {
        game.push_back(spinning_ms(dir, lit, "game"));
        editor.push_back(spinning_ms(dir, lit, "editor"));
    }
    printf("2. lit grid spinning: %.2f ms a frame, editor's look %.2f ms\n", median(game), median(editor));
    met &= report("   ratio", median(game) / median(editor), 1.5, "x");

    std::string scrolling = animated_tree(dir, "scroll", "tcMod scroll 0.5 0\nrgbGen wave sin 0.5 0.5 0 1");
    std::string still = animated_tree(dir, "still", "rgbGen const ( 0.5 0.5 0.5 )");
    double fps, share;
    animation(dir, scrolling, false, &fps, &share);
    met &= report("3. animated material, frames a second", fps, 60, "");
    met &= report("   its share of a core", share * 100, 60, "%");
    animation(dir, scrolling, true, &fps, &share);
    met &= report("   paused, share of a core", share * 100, 1, "%");
    animation(dir, still, false, &fps, &share);
    met &= report("   static material, share of a core", share * 100, 1, "%");
    fs::remove_all(dir);
    return met ? 0 : 1;
}
