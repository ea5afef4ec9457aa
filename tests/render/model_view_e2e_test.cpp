// The real viewer in the model view: a game-like tree whose model names its
// textures in every way artists' files do, the corpus models, and hostile
// materials and textures.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "tests/support/corpus.h"
#include "tests/support/dds_write.h"
#include "tests/support/files.h"
#include "tests/support/image_write.h"
#include "tests/support/targa.h"
#include "tests/support/zip_write.h"
#include "tools/driver/build_tree.h"
#include "tools/driver/viewer.h"

namespace fs = std::filesystem;

namespace {

const double patience = 60;

// One square object for each texture name, side by side along X, standing
// upright (the file's Z up) with texture V running up; each with a material
// of its own whose diffuse colour is mid grey. `extra` lines go at the end of
// the mesh of the object of that number.
std::string squares_model(const std::vector<std::string>& bitmaps,
                          const std::map<size_t, std::string>& extra = {})
{
    std::ostringstream out;
    out << "*3DSMAX_ASCIIEXPORT 200\n*MATERIAL_LIST {\n*MATERIAL_COUNT " << bitmaps.size() << "\n";
    for (size_t i = 0; i < bitmaps.size(); i++)
        out << "*MATERIAL " << i << " {\n*MATERIAL_DIFFUSE 0.5 0.5 0.5\n*MAP_DIFFUSE {\n*BITMAP \""
            << bitmaps[i] << "\"\n}\n}\n";
    out << "}\n";
    for (size_t i = 0; i < bitmaps.size(); i++) {
        double x = 15.0 * i;
        out << "*GEOMOBJECT {\n*MESH {\n*MESH_NUMVERTEX 4\n*MESH_NUMFACES 2\n*MESH_VERTEX_LIST {\n"
            << "*MESH_VERTEX 0 " << x << " 0 0\n*MESH_VERTEX 1 " << x + 10 << " 0 0\n"
            << "*MESH_VERTEX 2 " << x + 10 << " 0 10\n*MESH_VERTEX 3 " << x << " 0 10\n}\n"
            << "*MESH_FACE_LIST {\n*MESH_FACE 0: A: 0 B: 1 C: 2 AB: 1 BC: 1 CA: 0 *MESH_MTLID 0\n"
            << "*MESH_FACE 1: A: 0 B: 2 C: 3 AB: 1 BC: 1 CA: 0 *MESH_MTLID 0\n}\n"
            << "*MESH_NUMTVERTEX 4\n*MESH_TVERTLIST {\n*MESH_TVERT 0 0 0 0\n*MESH_TVERT 1 1 0 0\n"
            << "*MESH_TVERT 2 1 1 0\n*MESH_TVERT 3 0 1 0\n}\n*MESH_NUMTVFACES 2\n*MESH_TFACELIST {\n"
            << "*MESH_TFACE 0 0 1 2\n*MESH_TFACE 1 0 2 3\n}\n";
        if (extra.count(i))
            out << extra.at(i) << "\n";
        out << "}\n*MATERIAL_REF " << i << "\n}\n";
    }
    return out.str();
}

// 16 x 16 pixels, rows top to bottom: the top half in `top`, the bottom half
// black, or transparent with `clear_bottom`.
const int side = 16;

Bytes half_picture(const unsigned char top[3], bool clear_bottom, int channels)
{
    Bytes pixels;
    for (int y = 0; y < side; y++)
        for (int x = 0; x < side; x++) {
            for (int c = 0; c < 3; c++)
                pixels.push_back(y < side / 2 ? top[c] : 0);
            if (channels == 4)
                pixels.push_back(y < side / 2 || !clear_bottom ? 255 : 0);
        }
    return pixels;
}

// A Targa of the picture, its rows stored from the top or from the bottom.
Bytes targa_of(const Bytes& rgba, bool top_first)
{
    TgaHeader h;
    h.width = h.height = side;
    h.bpp = 32;
    h.descriptor = uint8_t(8 | (top_first ? 0x20 : 0));
    Bytes body;
    for (int row = 0; row < side; row++) {
        int y = top_first ? row : side - 1 - row;
        for (int x = 0; x < side; x++) {
            const unsigned char* p = &rgba[size_t(4 * (y * side + x))];
            body.insert(body.end(), {p[2], p[1], p[0], p[3]});
        }
    }
    return tga_bytes(h, body);
}

// What a pixel of the frame shows: a pure hue (bit 0 red, 1 green, 2 blue),
// black, the lit grey of a material without its texture, or anything else.
enum : int { black = 8, grey = 9, other = 10 };

int kind_of(const unsigned char* p)
{
    int hue = 0, low = 0;
    for (int c = 0; c < 3; c++) {
        hue |= (p[c] > 150) << c;
        low += p[c] < 70;
    }
    if (low == 3)
        return black;
    if (hue != 0 && std::popcount(unsigned(hue)) + low == 3)
        return hue;
    int lo = std::min({p[0], p[1], p[2]}), hi = std::max({p[0], p[1], p[2]});
    return lo > 90 && hi < 190 && hi - lo < 25 ? grey : other;
}

struct Region {
    int count = 0, x0 = 1 << 30, x1 = -1;
    double y_sum = 0;
    double mean_y() const { return y_sum / count; }
};

class ModelViewTest : public ::testing::Test {
protected:
    struct Run {
        std::string console;
        Pixels frame;
        std::string window_class;
    };
    // The first frame of the model in the model view, its console and class.
    Run show(const fs::path& model, const std::string& title, const std::vector<std::string>& env = {})
    {
        RealViewer viewer;
        std::vector<std::string> all_env = env;
        all_env.push_back("ASEVIEW_VIEW=model");
        viewer.start({.folder = dir_,
                      .args = {model.string()},
                      .program = ASEVIEW_BIN,
                      .title = title,
                      .env = all_env});
        if (!viewer.wait_for_first_frame(patience)) {
            ADD_FAILURE() << model << ": no frame; console: " << viewer.console();
            return {viewer.console(), {}, ""};
        }
        return {viewer.console(), viewer.screenshot(), window_property(viewer.window().id, "WM_CLASS")};
    }

    ScratchFolder scratch_;
    const fs::path dir_ = scratch_.path();
};

const char* const summary_prefix = "argc = 2\nLoading file ";

// The console up to the dumps' lines, with a long text shortened.
std::string before_dumps(std::string console, const std::string& long_text = "\x01")
{
    console.erase(std::min(console.find("************"), console.size()));
    for (size_t at; (at = console.find(long_text)) != std::string::npos;)
        console.replace(at, long_text.size(), "LONG");
    return console;
}

// Every way a model names its textures, in one model of seven objects under
// a game's models/ folder: each object shows its own texture the right way
// up (its colour above its black half), the transparent half is cut out,
// the image that is not there leaves the material's grey, and the summary
// says so.
TEST_F(ModelViewTest, GameTreeShowsEveryObjectInItsOwnTextureTheRightWayUp)
{
    const fs::path base = dir_ / "game" / "base";
    const fs::path model = base / "models" / "props" / "crate.ase";
    fs::create_directories(model.parent_path());
    fs::create_directories(base / "models" / "props" / "skin");
    fs::create_directories(base / "textures" / "walls");
    const unsigned char hues[6][3] = {{255, 0, 0}, {0, 255, 0},   {0, 0, 255},
                                      {255, 255, 0}, {0, 255, 255}, {255, 0, 255}};
    write_png_rgba(base / "models/props/skin/red.png", side, side, half_picture(hues[0], false, 4));
    Bytes green = half_picture(hues[1], false, 3);
    write_jpeg_rgb(base / "textures/walls/green.jpg", side, side, green);
    write_file(model.parent_path() / "blue.tga", targa_of(half_picture(hues[2], false, 4), false));
    write_file(model.parent_path() / "yellow.tga", targa_of(half_picture(hues[3], false, 4), true));
    write_png_rgba(base / "models/props/skin/CYAN.PNG", side, side, half_picture(hues[4], false, 4));
    write_file(base / "textures/walls/magenta.tga", targa_of(half_picture(hues[5], true, 4), true));
    const std::vector<std::string> bitmaps = {
        "models/props/skin/red.png",          // game-relative, PNG
        "C:\\Games\\Base\\Textures\\walls\\green.jpg",  // a Windows path, JPEG
        "blue.tga",                           // beside the model, rows from the bottom
        "D:\\art\\yellow.tga",                // a Windows path outside the game: beside it
        "models/props/skin/cyan",             // no extension, another case
        "..\\..\\textures\\walls\\magenta",   // relative to the model, alpha
        "textures\\gone\\missing.tga",        // not there
    };
    write_file(model, squares_model(bitmaps));

    // The editor's look: its cut of alpha below one half.
    Run run = show(model, "crate.ase - aseview", {"ASEVIEW_LOOK=editor"});
    EXPECT_EQ(before_dumps(run.console), summary_prefix + model.string() + "\nLoad succesfult\n" +
                               "model: 7 objects, 14 faces, 7 textures (1 not found)\n"
                               "texture not found: textures/gone/missing.tga\n");
    EXPECT_EQ(run.window_class, "WM_CLASS(STRING) = \"aseview\", \"aseview\"\n");
    ASSERT_TRUE(run.frame.width);

    Region regions[other + 1];
    std::vector<int> kinds(size_t(run.frame.width * run.frame.height));
    for (int y = 0; y < run.frame.height; y++)
        for (int x = 0; x < run.frame.width; x++) {
            int k = kinds[size_t(y * run.frame.width + x)] = kind_of(run.frame.at(x, y));
            Region& r = regions[k];
            r.count++;
            r.x0 = std::min(r.x0, x);
            r.x1 = std::max(r.x1, x);
            r.y_sum += y;
        }
    EXPECT_GT(regions[grey].count, 100) << "the missing texture's object in its material's grey";
    for (int hue : {1, 2, 4, 3, 6, 5}) {
        const Region& top = regions[hue];
        ASSERT_GT(top.count, 100) << "hue " << hue;
        Region below;
        for (int y = 0; y < run.frame.height; y++)
            for (int x = top.x0; x <= top.x1; x++)
                if (kinds[size_t(y * run.frame.width + x)] == black) {
                    below.count++;
                    below.y_sum += y;
                }
        if (hue == 5) {
            EXPECT_LT(below.count, 10) << "the transparent half is cut out";
            continue;
        }
        EXPECT_GT(below.count, 100) << "hue " << hue;
        EXPECT_GT(below.mean_y(), top.mean_y()) << "hue " << hue << " upside down";
    }
}

// The hue that most pixels of each object show, objects told apart by the
// white columns between them, left to right.
std::vector<int> hues_of_objects(const Pixels& frame)
{
    std::vector<int> hues;
    int counts[other + 1] = {};
    bool inside = false;
    for (int x = 0; x <= frame.width; x++) {
        bool drawn = false;
        for (int y = 0; x < frame.width && y < frame.height; y++)
            if (!frame.white(x, y)) {
                drawn = true;
                counts[kind_of(frame.at(x, y))]++;
            }
        if (inside && !drawn) {
            counts[black] = counts[other] = 0;
            hues.push_back(int(std::max_element(counts, counts + other + 1) - counts));
            std::fill(counts, counts + other + 1, 0);
        }
        inside = drawn;
    }
    return hues;
}

// A game's tree with shader scripts, archives and a folder of
// ASEVIEW_GAME_PATH: each object shows the image that the level editors
// would show for its name, and the shader whose image is missing leaves
// its material's grey.
TEST_F(ModelViewTest, ShadersArchivesAndGameFoldersShowTheirImages)
{
    const fs::path base = dir_ / "game" / "base", props = base / "models" / "props";
    fs::create_directories(props);
    fs::create_directories(base / "scripts");
    fs::create_directories(dir_ / "shared" / "textures");
    const unsigned char red[3] = {255, 0, 0}, green[3] = {0, 255, 0}, blue[3] = {0, 0, 255},
                        yellow[3] = {255, 255, 0}, cyan[3] = {0, 255, 255}, magenta[3] = {255, 0, 255};
    auto png_bytes = [&](const unsigned char* hue) {
        write_png_rgba(dir_ / "scratch.png", side, side, half_picture(hue, false, 4));
        return read_file(dir_ / "scratch.png");
    };
    write_png_rgba(props / "terminal_ed.png", side, side, half_picture(red, false, 4));
    write_jpeg_rgb(props / "bark_d.jpg", side, side, half_picture(green, false, 3));
    write_file(props / "screen.tga", targa_of(half_picture(blue, false, 4), false));
    write_file(props / "over.tga", targa_of(half_picture(red, false, 4), true));
    write_file(base / "scripts" / "props.shader",
               "models/props/terminal { qer_editorImage models/props/terminal_ed.png }\n"
               "models/props/bark { surfaceparm wood\n diffuseMap models/props/bark_d }\n"
               "models/props/screen { { map $lightmap } { map models/props/screen } }\n"
               "models/props/broken { qer_editorImage models/props/nothere }\n");
    write_zip(base / "pak0.pk3", {{"textures/pak/gold.png", png_bytes(yellow)},
                                  {"scripts/over.shader", "models/props/over { qer_editorImage textures/pak/pink }\n"},
                                  {"textures/pak/pink.png", png_bytes(magenta)}});
    write_zip(base / "res-sky.dpk", {{"textures/dpk/sky.png", png_bytes(cyan)}});
    write_png_rgba(dir_ / "shared" / "textures" / "far.png", side, side, half_picture(red, false, 4));
    write_webp_rgba(props / "leaf.webp", side, side, half_picture(green, false, 4));
    const std::vector<std::string> bitmaps = {
        "models/props/terminal", "models\\props\\bark.tga", "models/props/screen",
        "models/props/broken",   "textures/pak/gold.tga",       "textures/dpk/sky",
        "models/props/over.tga", "textures/far",                "models/props/leaf",
    };
    write_file(props / "console.ase", squares_model(bitmaps));

    Run run = show(props / "console.ase", "console.ase - aseview", {"ASEVIEW_GAME_PATH=" + (dir_ / "shared").string()});
    EXPECT_EQ(before_dumps(run.console), summary_prefix + (props / "console.ase").string() +
                                             "\nLoad succesfult\n"
                                             "model: 9 objects, 18 faces, 9 textures (1 not found)\n"
                                             "texture not found: models/props/broken\n");
    EXPECT_EQ(hues_of_objects(run.frame), (std::vector<int>{1, 2, 4, grey, 3, 6, 5, 1, 2}));
}

// An id Tech 4 mission beside its game, whose model's material list is
// never closed: every object shows the image of its material (from a
// material file loose or in a pk4), found in the dds/ mirror, and the
// material that is not there is reported by its material name. In the
// editor's look an image program shows its first image.
TEST_F(ModelViewTest, IdTech4MaterialsShowTheirDdsImages)
{
    const fs::path game = dir_ / "game" / "base", mission = dir_ / "mission";
    auto picture = [](const unsigned char* hue, int size) {
        DdsPicture p = {size, size, {}};
        for (int y = 0; y < size; y++)
            for (int x = 0; x < size; x++)
                for (int c = 0; c < 4; c++)
                    p.rgba.push_back(c == 3 ? 255 : y < size / 2 ? hue[c] : 0);
        return p;
    };
    auto dds = [&](DdsKind kind, const unsigned char* hue) {
        std::vector<DdsPicture> levels;
        for (int size = side; size >= 1; size /= 2)
            levels.push_back(picture(hue, size));
        DdsBytes bytes = dds_file(kind, levels, uint32_t(levels.size()));
        return std::string(bytes.begin(), bytes.end());
    };
    const unsigned char red[3] = {255, 0, 0}, green[3] = {0, 255, 0}, blue[3] = {0, 0, 255};
    fs::create_directories(game / "materials");
    fs::create_directories(game / "dds" / "textures");
    fs::create_directories(mission / "materials");
    fs::create_directories(mission / "dds" / "textures");
    fs::create_directories(mission / "models");
    write_zip(game / "pak000.pk4", {{"materials/door.mtr", "models/door/latch { diffusemap textures/door/latch_d.tga }"},
                                    {"dds/textures/door/latch_d.dds", dds(dds_dxt1, red)}});
    write_file(game / "materials" / "tdm.mtr",
               "table t { { 0, 1 } }\ntdm_green { qer_editorimage textures/nothere\n"
               "  { blend diffusemap map makeIntensity(textures/green) } }\n");
    write_file(game / "dds" / "textures" / "green.dds", dds(dds_dxt5, green));
    write_file(mission / "materials" / "m.mtr", "blue_mat { diffusemap textures/blue }\n");
    write_file(mission / "dds" / "textures" / "blue.dds", dds(dds_dxt3, blue));
    std::string model = squares_model({"C:\\Doom3\\base\\models\\door\\latch.tga", "//base/tdm_green",
                                       "\\\\server\\missions\\base\\blue_mat", "//base/nothere"});
    model.erase(model.find("}\n}\n*GEOMOBJECT"), 4);
    write_file(mission / "models" / "latch.ase", model);

    Run run = show(mission / "models" / "latch.ase", "latch.ase - aseview",
                   {"ASEVIEW_GAME_PATH=" + game.string(), "ASEVIEW_LOOK=editor"});
    EXPECT_EQ(before_dumps(run.console), summary_prefix + (mission / "models" / "latch.ase").string() +
                                             "\nLoad succesfult\n"
                                             "model: 4 objects, 8 faces, 4 textures (1 not found)\n"
                                             "texture not found: nothere\n");
    EXPECT_EQ(hues_of_objects(run.frame), (std::vector<int>{1, 2, 4, grey}));
}

// The corpus's real models: every object counted and drawn, the one
// texture named (a relative Windows path to a folder that is not there)
// reported as not found.
TEST_F(ModelViewTest, CorpusModelsAreCountedAndDrawnWhole)
{
    SKIP_WITHOUT_CORPUS();
    const struct {
        const char* name;
        const char* summary;
    } models[] = {
        {"CameraRollAnim.ase", "model: 1 objects, 12 faces, 0 textures (0 not found)\n"},
        {"InvalidUVIndex.ase", "model: 1 objects, 1 faces, 0 textures (0 not found)\n"},
        {"RotatingCube.ASE", "model: 1 objects, 12 faces, 0 textures (0 not found)\n"},
        {"ThreeCubesGreen.ASE", "model: 3 objects, 36 faces, 0 textures (0 not found)\n"},
        {"ThreeCubesGreen_UTF16LE.ASE", "model: 3 objects, 36 faces, 0 textures (0 not found)\n"},
        {"UVTransform_Normal.ASE", "model: 1 objects, 32 faces, 1 textures (1 not found)\n"
                                   "texture not found: ../../3DS/UVTransformTest/UVTransformTestImg.png\n"},
        {"anim.ASE", "model: 2 objects, 24 faces, 0 textures (0 not found)\n"},
    };
    for (const auto& m : models) {
        std::string path = corpus_path(std::string("ase/") + m.name);
        Run run = show(path, m.name + std::string(" - aseview"));
        EXPECT_EQ(before_dumps(run.console), summary_prefix + path + "\nLoad succesfult\n" + m.summary);
        int drawn = 0;
        for (int y = 0; y < run.frame.height; y++)
            for (int x = 0; x < run.frame.width; x++)
                drawn += !run.frame.white(x, y);
        EXPECT_EQ(drawn > 5000, std::string(m.summary).find(" 0 faces") == std::string::npos) << m.name;
    }
}

// Keys and the mouse act on the model view as on the others: each command
// changes the picture. Every view's window is of the class aseview.
TEST_F(ModelViewTest, KeysAndMouseActAndEveryWindowIsOfClassAseview)
{
    SKIP_WITHOUT_CORPUS();
    copy_run_files({"map2.tga"}, dir_);
    const std::string model = corpus_path("ase/ThreeCubesGreen.ASE");
    RealViewer viewer;
    viewer.start({.folder = dir_, .args = {model}, .program = ASEVIEW_BIN,
                  .title = "ThreeCubesGreen.ASE - aseview", .env = {"ASEVIEW_VIEW=model"}});
    ASSERT_TRUE(viewer.wait_for_first_frame(patience)) << viewer.console();
    const struct {
        const char* keys;
        int drag_to_x;  // 0: no drag
    } commands[] = {{"w", 0}, {"w", 0}, {"x", 500}, {"r", 200}};
    for (const auto& c : commands) {
        Pixels before = viewer.settled_screenshot(patience);
        ASSERT_TRUE(viewer.key(c.keys));
        if (c.drag_to_x) {
            ASSERT_TRUE(viewer.drag(320, 240, c.drag_to_x, 300));
        }
        EXPECT_NE(viewer.settled_screenshot(patience).rgb, before.rgb) << c.keys;
    }
    for (const std::vector<std::string>& env : {std::vector<std::string>{}, {"ASEVIEW_VIEW=fit"}}) {
        RealViewer other;
        other.start({.folder = dir_, .args = {model}, .program = ASEVIEW_BIN, .env = env});
        ASSERT_TRUE(other.wait_for_first_frame(patience));
        EXPECT_EQ(window_property(other.window().id, "WM_CLASS"), "WM_CLASS(STRING) = \"aseview\", \"aseview\"\n");
    }
}

// The file is read once for both stores: the dumps are the default view's,
// byte for byte, also when the model comes through a pipe.
TEST_F(ModelViewTest, DumpsAreTheDefaultViewsAlsoFromAPipe)
{
    SKIP_WITHOUT_CORPUS();
    copy_run_files({"map2.tga"}, dir_);
    const std::string model = corpus_path("ase/ThreeCubesGreen.ASE");
    auto dumps = [&](const std::vector<std::string>& env, const std::string& path, const std::string& title) {
        for (const char* name : {"dump.txt", "norm.txt", "vnorml.txt"})
            fs::remove(dir_ / name);
        RealViewer viewer;
        viewer.start({.folder = dir_, .args = {path}, .program = ASEVIEW_BIN, .title = title, .env = env});
        EXPECT_TRUE(viewer.wait_for_first_frame(patience)) << viewer.console();
        EXPECT_TRUE(wait_until(patience, [&] { return fs::exists(dir_ / "vnorml.txt"); }));
        return read_file(dir_ / "dump.txt") + read_file(dir_ / "norm.txt") + read_file(dir_ / "vnorml.txt");
    };
    std::string plain = dumps({}, model, viewer_title);
    ASSERT_NE(plain.find("MAX_FACES = 12"), std::string::npos);
    EXPECT_EQ(dumps({"ASEVIEW_VIEW=model"}, model, "ThreeCubesGreen.ASE - aseview"), plain);
    ASSERT_EQ(mkfifo((dir_ / "pipe.ase").c_str(), 0600), 0);
    std::string feed = "cat '" + model + "' > '" + (dir_ / "pipe.ase").string() + "' &";
    ASSERT_EQ(std::system(feed.c_str()), 0);
    EXPECT_EQ(dumps({"ASEVIEW_VIEW=model"}, (dir_ / "pipe.ase").string(), "pipe.ase - aseview"), plain);
}

// Surfaces the game never draws (nodraw, declared by no shader) are hidden:
// counted in the summary, named on a line of their own, left out of the
// picture and of its framing; c shows them tinted, and again hides them.
TEST_F(ModelViewTest, NeverDrawnSurfacesAreHiddenUntilAsked)
{
    const fs::path model = dir_ / "game" / "base" / "models" / "wall.ase";
    fs::create_directories(model.parent_path());
    const unsigned char red[3] = {255, 0, 0};
    write_file(model.parent_path() / "red.tga", targa_of(half_picture(red, false, 4), true));
    write_file(dir_ / "drawn.ase", squares_model({"red.tga"}));
    fs::copy_file(model.parent_path() / "red.tga", dir_ / "red.tga");
    write_file(model, squares_model({"red.tga", "textures/common/nodraw.tga", "textures/common/nodraw.tga"}));

    Run alone = show(dir_ / "drawn.ase", "drawn.ase - aseview");
    RealViewer viewer;
    viewer.start({.folder = dir_, .args = {model.string()}, .program = ASEVIEW_BIN,
                  .title = "wall.ase - aseview", .env = {"ASEVIEW_VIEW=model"}});
    ASSERT_TRUE(viewer.wait_for_first_frame(patience)) << viewer.console();
    EXPECT_EQ(before_dumps(viewer.console()),
              summary_prefix + model.string() + "\nLoad succesfult\n" +
                  "model: 3 objects, 6 faces, 2 textures (0 not found)\n"
                  "hidden: 4 faces (textures/common/nodraw.tga): never drawn by the game\n");
    const Pixels first = viewer.screenshot();
    EXPECT_TRUE(first.rgb == alone.frame.rgb) << "framed and drawn as if the hidden faces were not there";
    // Orange, pure or over white: red high, green well above blue.
    auto orange = [](const Pixels& s) {
        int n = 0;
        for (int y = 0; y < s.height; y++)
            for (int x = 0; x < s.width; x++)
                n += s.at(x, y)[0] > 200 && s.at(x, y)[1] > s.at(x, y)[2] + 30;
        return n;
    };
    // Farther: the hidden squares beside the drawn one come into the window.
    ASSERT_TRUE(viewer.wheel(320, 240, -8));
    const Pixels far = viewer.settled_screenshot(patience);
    ASSERT_NE(far.rgb, first.rgb);
    EXPECT_EQ(orange(far), 0);
    ASSERT_TRUE(viewer.key("c"));
    EXPECT_TRUE(wait_until(patience, [&] { return orange(viewer.screenshot()) > 1000; }));
    ASSERT_TRUE(viewer.key("c"));
    EXPECT_TRUE(wait_until(patience, [&] { return viewer.screenshot().rgb == far.rgb; })) << "c left a trace";
}

// Textures that are no images, or that no one should read, and indices
// out of every range: each texture counted as not found, the rest drawn, and
// the first frame comes without a hang.
TEST_F(ModelViewTest, HostileTexturesAndIndicesLeaveTheRestDrawn)
{
    fs::create_directory(dir_ / "folder.tga");
    ASSERT_EQ(mkfifo((dir_ / "pipe.png").c_str(), 0600), 0);
    fs::create_symlink("loop2.tga", dir_ / "loop.tga");
    fs::create_symlink("loop.tga", dir_ / "loop2.tga");
    fs::create_symlink("/dev/zero", dir_ / "zero.tga");
    write_png_rgba(dir_ / "whole.png", side, side, Bytes(size_t(side * side * 4), 200));
    std::string whole = read_file(dir_ / "whole.png");
    write_file(dir_ / "cut.png", whole.substr(0, whole.size() / 2));
    TgaHeader huge;
    huge.width = huge.height = 65535;
    write_file(dir_ / "huge.tga", tga_bytes(huge, Bytes(64, 7)));
    write_file(dir_ / "broken.jpg", std::string("\xff\xd8\xff\xe0 not a JPEG after all"));
    const std::string long_name(100000, 'n');
    const std::vector<std::string> bitmaps = {"/dev/zero", "folder.tga", "pipe.png", "loop.tga",
                                              long_name, "cut.png", "huge.tga", "broken.jpg",
                                              "zero.tga", "whole.png", "whole.png"};
    std::string text = squares_model(bitmaps, {{10, "*MESH_TFACE 0 2147483647 -1 2"}});
    text.replace(text.find("*MATERIAL_REF 9\n"), 15, "*MATERIAL_REF 2147483647");
    write_file(dir_ / "hostile.ase", text);

    Run run = show(dir_ / "hostile.ase", "hostile.ase - aseview");
    // A file that is there but gives no picture is named with the reason.
    const struct {
        const char *name, *file, *why;
    } missing[] = {{"/dev/zero", "zero.tga", "not a regular file"},
                   {"folder.tga", "folder.tga", "not a regular file"},
                   {"pipe.png", "pipe.png", "not a regular file"},
                   {"loop.tga", nullptr, nullptr},
                   {"LONG", nullptr, nullptr},
                   {"cut.png", "cut.png", "truncated PNG"},
                   {"huge.tga", "huge.tga", "larger than 8192 pixels a side"},
                   {"broken.jpg", "broken.jpg", "truncated JPEG"},
                   {"zero.tga", "zero.tga", "not a regular file"}};
    std::string not_found;
    for (const auto& m : missing)
        not_found += std::string("texture not found: ") + m.name +
                     (m.file ? " (" + (dir_ / m.file).string() + ": " + m.why + ")" : "") + "\n";
    EXPECT_EQ(before_dumps(run.console, long_name), summary_prefix + (dir_ / "hostile.ase").string() +
                               "\nLoad succesfult\n"
                               "model: 11 objects, 22 faces, 10 textures (9 not found)\n" +
                               not_found);
    EXPECT_TRUE(run.frame.width);
}

}  // namespace
