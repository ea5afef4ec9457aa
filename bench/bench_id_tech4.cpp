// The model view on an id Tech 4 game's tree, as a user meets it:
//  1. the first frame of a model whose materials lie in materials/*.mtr and
//     whose textures only in the dds/ mirror, in a game folder that also
//     holds 50 material files of 100 materials and three pk4 archives of
//     20,000 entries, beside the same model without them (goal: at most
//     50 ms slower);
//  2. a thumbnail of that model, four boxes with four 1024 x 1024 DXT1
//     textures with their mipmaps, made with --view model beside --view fit
//     (goal: under 0.5 s and at most 1.5x);
//  3. in a running viewer on that model in the filled game folder, F5 on
//     the unchanged tree beside a fresh start's first frame (goal: at most
//     1x: the tree is read again, as a start reads it), and the next model
//     of the folder beside a fresh start (goal: at most 0.5x).
// Runs on an X server of its own; every measure takes turns with the one it
// is compared with, and the median of the rounds counts.
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/viewer_probe.h"
#include "tests/support/dds_write.h"

namespace fs = std::filesystem;

constexpr int rounds = 7;
constexpr double extra_ms_goal = 50, thumbnail_ratio_goal = 1.5, thumbnail_seconds_goal = 0.5;
constexpr double reload_ratio_goal = 1.0, step_ratio_goal = 0.5, patience = 120;

// A DXT1 file of `side` pixels square with its whole mip chain: stripes of
// 32 pixels in the colour given and white.
static void write_dxt1(const fs::path& path, int side, const uint8_t colour[3])
{
    std::vector<DdsPicture> levels;
    for (int size = side, scale = 1; size >= 1; size /= 2, scale *= 2) {
        DdsPicture level = {size, size, DdsBytes(size_t(size) * size * 4, 255)};
        for (int y = 0; y < size; y++)
            for (int x = 0; x < size; x++)
                if ((x + y) * scale / 32 % 2)
                    std::copy(colour, colour + 3, &level.rgba[size_t(4 * (y * size + x))]);
        levels.push_back(level);
    }
    DdsBytes bytes = dds_file(dds_dxt1, levels, uint32_t(levels.size()));
    std::ofstream(path, std::ios::binary).write((const char*)bytes.data(), std::streamsize(bytes.size()));
}

// A game's base folder with the model: four boxes whose materials are named
// after the base folder, declared in a material file, with DXT1 images in
// the dds/ mirror only.
static std::string id_tech4_model(const fs::path& base)
{
    fs::create_directories(base / "models" / "boxes");
    fs::create_directories(base / "materials");
    fs::create_directories(base / "dds" / "textures" / "boxes");
    const uint8_t colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    std::ofstream materials(base / "materials" / "boxes.mtr");
    std::vector<std::string> bitmaps;
    for (int i = 0; i < 4; i++) {
        std::string name = "box" + std::to_string(i);
        materials << "models/boxes/" << name << "\n{\n\tqer_editorimage textures/boxes/" << name
                  << "_ed\n\tdiffusemap textures/boxes/" << name << ".tga\n\tbumpmap textures/boxes/" << name
                  << "_local\n}\n";
        write_dxt1(base / "dds" / "textures" / "boxes" / (name + ".dds"), 1024, colours[i]);
        bitmaps.push_back("C:\\Doom3\\base\\models\\boxes\\" + name + ".tga");
    }
    std::string model = (base / "models" / "boxes" / "boxes.ase").string();
    write_boxes_model(model, bitmaps);
    return model;
}

// What a shipped game holds besides: 50 material files of 100 materials and
// three pk4 archives of 20,000 entries, none of which the model names.
static void fill_game_folder(const fs::path& base)
{
    for (int f = 0; f < 50; f++) {
        std::ofstream out(base / "materials" / ("set" + std::to_string(f) + ".mtr"));
        out << "table sinTable { { 0, 0.7, 1, 0.7, 0, -0.7, -1, -0.7 } }\n";
        for (int k = 0; k < 100; k++) {
            std::string name = "textures/set" + std::to_string(f) + "/wall" + std::to_string(k);
            out << "// material " << k << "\n" << name << "\n{\n\tqer_editorimage " << name << "_ed\n\tdiffusemap "
                << name << "_d\n\tbumpmap addnormals(" << name << "_local, heightmap(" << name << "_h, 4))\n"
                << "\tspecularmap " << name << "_s\n\t{\n\t\tblend add\n\t\tmap " << name << "_glow\n"
                << "\t\trgb sinTable[time * 0.5]\n\t}\n}\n";
        }
    }
    static const char body[] = "not an image, only an entry";
    for (int a = 0; a < 3; a++) {
        int error = 0;
        zip_t* zip = zip_open((base / ("pak00" + std::to_string(a) + ".pk4")).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        for (int e = 0; e < 20000; e++) {
            std::string name = "dds/textures/pak" + std::to_string(a) + "/image" + std::to_string(e) + ".dds";
            zip_file_add(zip, name.c_str(), zip_source_buffer(zip, body, sizeof body, 0), 0);
        }
        zip_close(zip);
    }
}

static double first_frame_seconds(const fs::path& dir, const std::string& model)
{
    return seconds_to_first_frame({.folder = dir,
                                   .args = {model},
                                   .program = ASEVIEW_BIN,
                                   .title = model_view_title(model),
                                   .env = {"ASEVIEW_VIEW=model"}});
}

int main()
{
    if (!use_private_display()) {
        fprintf(stderr, "bench_id_tech4: no X server of its own (Xvfb) could be started\n");
        return 1;
    }
    fs::path dir = fs::temp_directory_path() / ("aseview_bench_id_tech4_" + std::to_string(getpid()));
    std::string bare = id_tech4_model(dir / "bare" / "base"), full = id_tech4_model(dir / "full" / "base");
    fill_game_folder(dir / "full" / "base");
    bool met = true;

    std::vector<double> bare_s, full_s;
    for (int r = 0; r < rounds; r++) {
        bare_s.push_back(first_frame_seconds(dir, bare));
        full_s.push_back(first_frame_seconds(dir, full));
    }
    double bs = median(bare_s), fs_ = median(full_s), extra_ms = 1000 * (fs_ - bs);
    bool game_met = bs > 0 && fs_ > 0 && extra_ms <= extra_ms_goal;
    met = met && game_met;
    printf("1. first frame of four DDS-textured boxes through a material file: alone %.3f s, beside 50 material "
           "files of 100 materials and three pk4 archives of 20,000 entries %.3f s, %+.0f ms (goal: at most "
           "+%.0f ms): %s\n",
           bs, fs_, extra_ms, extra_ms_goal, game_met ? "met" : "NOT met");
    fflush(stdout);

    std::string png = (dir / "thumb.png").string();
    std::vector<double> model_thumb, fit_thumb;
    for (int r = 0; r < rounds; r++)
        for (const char* view : {"model", "fit"})
            (view[0] == 'm' ? model_thumb : fit_thumb)
                .push_back(run_program({MAKE_SCREENSHOT, "--offscreen", "--view", view, "--size", "256",
                                        "--max-model", "100", full, png}, dir.c_str()).wall);
    double mt = median(model_thumb), ft = median(fit_thumb);
    bool thumb_met = mt > 0 && ft > 0 && mt < thumbnail_seconds_goal && mt / ft <= thumbnail_ratio_goal;
    met = met && thumb_met;
    printf("2. thumbnail of four boxes with four 1024x1024 DXT1 textures: model view %.3f s, fitted view %.3f s, "
           "%.2fx (goal: under %.1f s and at most %.1fx): %s\n",
           mt, ft, mt / ft, thumbnail_seconds_goal, thumbnail_ratio_goal, thumb_met ? "met" : "NOT met");

    // A second model beside the first, for the next file's step.
    std::string other = (fs::path(full).parent_path() / "boxes2.ase").string();
    fs::copy_file(full, other, fs::copy_options::overwrite_existing);
    std::vector<double> reload_s, step_s, fresh_s;
    RealViewer viewer;
    viewer.start({.folder = dir, .args = {full}, .program = ASEVIEW_BIN, .title = model_view_title(full),
                  .env = {"ASEVIEW_VIEW=model"}});
    bool started = viewer.wait_for_first_frame(patience);
    for (int r = 0; started && r < rounds; r++) {
        reload_s.push_back(viewer.seconds_to_frame_after([&] { viewer.key("F5"); }, patience));
        step_s.push_back(viewer.seconds_to_frame_after([&] { viewer.key("Next"); }, patience));
        viewer.seconds_to_frame_after([&] { viewer.key("Prior"); }, patience);
        fresh_s.push_back(first_frame_seconds(dir, full));
    }
    viewer.stop();
    double rs = median(reload_s), ss = median(step_s), fr = median(fresh_s);
    bool loop_met = started && rs > 0 && ss > 0 && fr > 0 && rs / fr <= reload_ratio_goal &&
                    ss / fr <= step_ratio_goal;
    met = met && loop_met;
    printf("3. in the filled game folder: F5 %.3f s, next model %.3f s, fresh start %.3f s: F5 %.2fx (goal: at "
           "most %.1fx), next %.2fx (goal: at most %.1fx): %s\n",
           rs, ss, fr, rs / fr, reload_ratio_goal, ss / fr, step_ratio_goal, loop_met ? "met" : "NOT met");

    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return met ? 0 : 1;
}
