// The model view against the views it joins, as a user meets them:
//  1. the first frame, from the viewer's start, of models without textures
//     (the corpus and knots of 10,000 to 1,000,000 faces) in the model view
//     beside the fitted view (goal: at most 1.2x);
//  2. a thumbnail of a textured model (two objects, two 512 x 512 PNG
//     textures) made with --view model beside --view fit (goal: under 0.5 s
//     and at most 1.5x);
//  3. the frame time of the million-face knot spinning in the model view
//     beside the default view (goal: no slower);
//  4. the first frame of that textured model in a game folder that also
//     holds 200 shader scripts and 20 archives of 1,000 entries, beside the
//     same model without them (goal: at most 50 ms slower).
// Runs on an X server of its own; every measure takes turns with the one it
// is compared with, and the median of the rounds counts.
// Usage: bench_model_view [MODEL...]  (the models of the first measure; by
// default the corpus and the generated knots)
#include <png.h>
#include <zip.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/viewer_probe.h"

namespace fs = std::filesystem;

constexpr int rounds = 5;
constexpr double first_frame_goal = 1.2, thumbnail_ratio_goal = 1.5, thumbnail_seconds_goal = 0.5;

static std::string title_for(const std::string& model, const char* view)
{
    return std::string(view) == "model" ? model_view_title(model) : viewer_title;
}

static double first_frame_seconds(const fs::path& dir, const std::string& model, const char* view)
{
    return seconds_to_first_frame({.folder = dir,
                                   .args = {model},
                                   .program = ASEVIEW_BIN,
                                   .title = title_for(model, view),
                                   .env = {std::string("ASEVIEW_VIEW=") + view}});
}

static double spinning_ms_per_frame(const fs::path& dir, const std::string& model, const char* view)
{
    RealViewer viewer;
    viewer.start({.folder = dir, .args = {model}, .program = ASEVIEW_BIN, .title = title_for(model, view),
                  .env = {std::string("ASEVIEW_VIEW=") + view}});
    if (!viewer.wait_for_first_frame(120) || !viewer.drag(320, 240, 470, 240) || !viewer.key("f"))
        return -1;
    viewer.frames_within(1);
    return viewer.ms_per_frame(5);
}

// A 512 x 512 PNG of stripes in the colour given.
static void write_texture(const fs::path& path, unsigned char r, unsigned char g, unsigned char b)
{
    std::vector<unsigned char> rgb(512 * 512 * 3);
    for (size_t i = 0; i < 512 * 512; i++) {
        bool stripe = (i / 512 / 32 + i % 512 / 32) % 2;
        rgb[3 * i] = stripe ? r : 255;
        rgb[3 * i + 1] = stripe ? g : 255;
        rgb[3 * i + 2] = stripe ? b : 255;
    }
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = image.height = 512;
    image.format = PNG_FORMAT_RGB;
    png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr);
}

// Two boxes side by side, each with a texture of its own, named game-relative.
static std::string textured_model(const fs::path& dir)
{
    fs::path folder = dir / "models" / "boxes";
    fs::create_directories(folder);
    write_texture(folder / "red.png", 200, 30, 30);
    write_texture(folder / "blue.png", 30, 30, 200);
    write_boxes_model((folder / "boxes.ase").string(), {"models/boxes/red.png", "models/boxes/blue.png"});
    return (folder / "boxes.ase").string();
}

// A game's folder beside the model's: 200 shader scripts of 100 shaders and
// 20 pk3 archives of 1,000 entries, none of which the model names.
static void fill_game_folder(const fs::path& game)
{
    fs::create_directories(game / "scripts");
    for (int f = 0; f < 200; f++) {
        std::ofstream out(game / "scripts" / ("set" + std::to_string(f) + ".shader"));
        for (int k = 0; k < 100; k++)
            out << "// shader " << k << "\ntextures/set" << f << "/wall" << k << "\n{\n\tqer_editorImage textures/set"
                << f << "/wall" << k << ".tga\n\tsurfaceparm nomarks\n\t{\n\t\tmap $lightmap\n\t\trgbGen identity\n"
                << "\t}\n\t{\n\t\tmap textures/set" << f << "/wall" << k << ".tga\n\t\tblendFunc filter\n\t}\n}\n";
    }
    static const char body[] = "not an image, only an entry";
    for (int a = 0; a < 20; a++) {
        int error = 0;
        zip_t* zip = zip_open((game / ("pak" + std::to_string(a) + ".pk3")).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        for (int e = 0; e < 1000; e++) {
            std::string name = "textures/pak" + std::to_string(a) + "/image" + std::to_string(e) + ".tga";
            zip_file_add(zip, name.c_str(), zip_source_buffer(zip, body, sizeof body, 0), 0);
        }
        zip_close(zip);
    }
}

int main(int argc, char** argv)
{
    if (!use_private_display()) {
        fprintf(stderr, "bench_model_view: no X server of its own (Xvfb) could be started\n");
        return 1;
    }
    fs::path dir = fs::temp_directory_path() / ("aseview_bench_model_view_" + std::to_string(getpid()));
    fs::create_directories(dir);
    copy_run_files({"map2.tga"}, dir);
    bool met = true;

    std::vector<std::string> models;
    for (int i = 1; i < argc; i++)
        models.push_back(fs::absolute(argv[i]).string());
    if (models.empty()) {
        models = corpus_models(ASEVIEW_CORPUS);
        models.push_back(generated_knot("knot10k.ase", 10000));
        models.push_back(generated_knot("knot100k.ase", 100000));
    }
    std::string million = generated_knot("knot1m.ase", 1000000);
    if (argc == 1)
        models.push_back(million);
    printf("1. first frame from the start, median of %d rounds in turns\n", rounds);
    printf("%-28s %10s %10s %8s\n", "model", "model", "fit", "ratio");
    std::vector<double> ratios;
    for (const std::string& model : models) {
        std::vector<double> ours, fitted;
        for (int r = 0; r < rounds; r++) {
            ours.push_back(first_frame_seconds(dir, model, "model"));
            fitted.push_back(first_frame_seconds(dir, model, "fit"));
        }
        double m = median(ours), f = median(fitted);
        ratios.push_back(m / f);
        printf("%-28s %8.3f s %8.3f s %7.2fx\n", fs::path(model).filename().c_str(), m, f, m / f);
        fflush(stdout);
    }
    double ratio = median(ratios), worst = *std::max_element(ratios.begin(), ratios.end());
    met = met && worst <= first_frame_goal;
    printf("median %.2fx, worst %.2fx (goal: at most %.1fx): %s\n\n", ratio, worst, first_frame_goal,
           worst <= first_frame_goal ? "met" : "NOT met");

    std::string boxes = textured_model(dir);
    std::string png = (dir / "thumb.png").string();
    std::vector<double> model_thumb, fit_thumb;
    for (int r = 0; r < rounds; r++) {
        for (const char* view : {"model", "fit"})
            (view[0] == 'm' ? model_thumb : fit_thumb)
                .push_back(run_program({MAKE_SCREENSHOT, "--offscreen", "--view", view, "--size", "256",
                                        "--max-model", "100", boxes, png}, dir.c_str()).wall);
    }
    double mt = median(model_thumb), ft = median(fit_thumb);
    bool thumb_met = mt > 0 && mt < thumbnail_seconds_goal && mt / ft <= thumbnail_ratio_goal;
    met = met && thumb_met;
    printf("2. thumbnail of two boxes with two 512x512 PNG textures: model view %.3f s, fitted view %.3f s, "
           "%.2fx (goal: under %.1f s and at most %.1fx): %s\n\n",
           mt, ft, mt / ft, thumbnail_seconds_goal, thumbnail_ratio_goal, thumb_met ? "met" : "NOT met");

    std::vector<double> model_ms, default_ms;
    for (int r = 0; r < 3; r++) {
        model_ms.push_back(spinning_ms_per_frame(dir, million, "model"));
        default_ms.push_back(spinning_ms_per_frame(dir, million, ""));
    }
    double mm = median(model_ms), dm = median(default_ms);
    bool frame_met = mm > 0 && dm > 0 && mm <= dm;
    met = met && frame_met;
    printf("3. million-face knot spinning: model view %.1f ms a frame, default view %.1f ms, %.2fx "
           "(goal: no slower): %s\n",
           mm, dm, mm / dm, frame_met ? "met" : "NOT met");

    // The textured model again, in a game folder full of scripts and archives.
    fs::path bare = dir / "bare", full = dir / "full";
    fs::create_directories(bare);
    fs::create_directories(full);
    std::string bare_model = textured_model(bare), full_model = textured_model(full);
    fill_game_folder(full);
    std::vector<double> bare_s, full_s;
    for (int r = 0; r < 2 * rounds; r++) {
        bare_s.push_back(first_frame_seconds(dir, bare_model, "model"));
        full_s.push_back(first_frame_seconds(dir, full_model, "model"));
    }
    double bs = median(bare_s), fs_ = median(full_s), extra_ms = 1000 * (fs_ - bs);
    bool game_met = bs > 0 && fs_ > 0 && extra_ms <= 50;
    met = met && game_met;
    printf("4. first frame of the textured model: alone %.3f s, in a game folder of 200 shader scripts and "
           "20 archives of 1,000 entries %.3f s, %+.0f ms (goal: at most +50 ms): %s\n",
           bs, fs_, extra_ms, game_met ? "met" : "NOT met");
    fs::remove_all(dir);
    return met ? 0 : 1;
}
