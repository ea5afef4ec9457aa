// The model view's own controls on the real viewer, one start for all of
// them: a cube whose six faces have six colours is turned, tilted, panned,
// zoomed, seen from the preset views, overlaid, saved and closed; apitrace
// counts what it uploaded meanwhile. The default view ignores the new keys
// and the wheel.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>

#include "tests/support/files.h"
#include "tests/support/png_read.h"
#include "tools/driver/build_tree.h"
#include "tools/driver/viewer.h"

namespace fs = std::filesystem;

namespace {

const double patience = 30;

// The cube's faces by colour bits (red 1, green 2, blue 4) as they are lit.
enum face { front = 1, right = 2, back = 3, top = 4, bottom = 5, left = 6 };

// A cube of 20 units standing on the origin, a face an object with a
// material of its own; the top's texture is not there.
std::string cube_model()
{
    const int corners[6][4][3] = {
        {{-10, -10, 0}, {10, -10, 0}, {10, -10, 20}, {-10, -10, 20}},  // front (-Y)
        {{10, -10, 0}, {10, 10, 0}, {10, 10, 20}, {10, -10, 20}},      // right (+X)
        {{10, 10, 0}, {-10, 10, 0}, {-10, 10, 20}, {10, 10, 20}},      // back (+Y)
        {{-10, -10, 20}, {10, -10, 20}, {10, 10, 20}, {-10, 10, 20}},  // top (+Z)
        {{-10, 10, 0}, {10, 10, 0}, {10, -10, 0}, {-10, -10, 0}},      // bottom (-Z)
        {{-10, 10, 0}, {-10, -10, 0}, {-10, -10, 20}, {-10, 10, 20}},  // left (-X)
    };
    const int bits[6] = {front, right, back, top, bottom, left};
    std::ostringstream out;
    out << "*3DSMAX_ASCIIEXPORT 200\n*MATERIAL_LIST {\n*MATERIAL_COUNT 6\n";
    for (int m = 0; m < 6; m++) {
        out << "*MATERIAL " << m << " {\n*MATERIAL_DIFFUSE";
        for (int c = 0; c < 3; c++)
            out << (bits[m] >> c & 1 ? " 0.6" : " 0.2");
        out << (bits[m] == top ? "\n*MAP_DIFFUSE {\n*BITMAP \"gone.tga\"\n}\n}\n" : "\n}\n");
    }
    out << "}\n";
    for (int f = 0; f < 6; f++) {
        out << "*GEOMOBJECT {\n*MESH {\n*MESH_NUMVERTEX 4\n*MESH_NUMFACES 2\n*MESH_VERTEX_LIST {\n";
        for (int v = 0; v < 4; v++)
            out << "*MESH_VERTEX " << v << ' ' << corners[f][v][0] << ' ' << corners[f][v][1] << ' '
                << corners[f][v][2] << "\n";
        out << "}\n*MESH_FACE_LIST {\n*MESH_FACE 0: A: 0 B: 1 C: 2\n*MESH_FACE 1: A: 0 B: 2 C: "
               "3\n}\n}\n"
            << "*MATERIAL_REF " << f << "\n}\n";
    }
    return out.str();
}

// Colour bits of a pixel: the channels near its brightest.
int hue(const unsigned char* p)
{
    int most = std::max({p[0], p[1], p[2]});
    return (p[0] > 0.6 * most) | (p[1] > 0.6 * most) << 1 | (p[2] > 0.6 * most) << 2;
}

int count(const Pixels& s, const std::function<bool(const unsigned char*)>& which)
{
    int n = 0;
    for (int y = 0; y < s.height; y++)
        for (int x = 0; x < s.width; x++)
            n += which(s.at(x, y));
    return n;
}

int of_face(const Pixels& s, int bits)
{
    return count(
        s, [&](const unsigned char* p) { return !(p[0] & p[1] & p[2] & 0x80) && hue(p) == bits; });
}

auto exactly(int r, int g, int b)
{
    return [=](const unsigned char* p) { return p[0] == r && p[1] == g && p[2] == b; };
}

// Where the drawn pixels' centre lies.
std::pair<double, double> centroid(const Pixels& s)
{
    double x = 0, y = 0, n = 0;
    for (int row = 0; row < s.height; row++)
        for (int column = 0; column < s.width; column++)
            if (!s.white(column, row)) {
                x += column;
                y += row;
                n++;
            }
    return {x / n, y / n};
}

class ModelControls : public ::testing::Test {
protected:
    // The picture once the viewer has acted on what was sent to it, which
    // the action must have changed.
    Pixels changed_from(const Pixels& before)
    {
        Pixels now = viewer_.settled_screenshot(patience);
        EXPECT_FALSE(now.rgb.empty()) << "no frame came";
        EXPECT_NE(now.rgb, before.rgb) << "the picture did not change";
        return now;
    }
    bool back_to(const Pixels& picture) { return viewer_.settled_screenshot(patience).rgb == picture.rgb; }

    ScratchFolder scratch_;
    const fs::path dir_ = scratch_.path();
    RealViewer viewer_;
};

// The GL calls that apitrace's dump lists with that name.
int traced(const std::string& trace, const std::string& call)
{
    std::string command = std::string(APITRACE) + " dump --color=never '" + trace + "'";
    FILE* dump = popen(command.c_str(), "r");
    int n = 0;
    char line[4096];
    while (dump && fgets(line, sizeof line, dump))
        n += strstr(line, (" " + call + "(").c_str()) != nullptr;
    if (dump)
        pclose(dump);
    return n;
}

TEST_F(ModelControls, EveryControlActsOnOneViewer)
{
    write_file(dir_ / "cube.ase", cube_model());
    fs::create_directory(dir_ / "pictures");
    write_file(dir_ / "pictures" / "cube.png", "an earlier picture");
    const std::string trace = dir_ / "calls.trace";
    // A sanitized viewer accepts the tracer loaded before its runtime.
    const char* asan = std::getenv("ASAN_OPTIONS");
    std::string asan_options = std::string("ASAN_OPTIONS=") + (asan ? asan : "") +
                               (asan && *asan ? ":" : "") + "verify_asan_link_order=0";
    viewer_.start({.folder = dir_,
                   .args = {"cube.ase"},
                   .program = ASEVIEW_BIN,
                   .title = "cube.ase - aseview",
                   .env = {"ASEVIEW_VIEW=model", "XDG_PICTURES_DIR=" + (dir_ / "pictures").string(),
                           "LD_PRELOAD=" GLXTRACE, "TRACE_FILE=" + trace, asan_options}});
    ASSERT_TRUE(viewer_.wait_for_first_frame(patience)) << viewer_.console();
    const Pixels first = viewer_.settled_screenshot(patience);
    ASSERT_GT(of_face(first, front), 1000);
    ASSERT_GT(of_face(first, right), 1000);
    ASSERT_GT(of_face(first, top), 1000);

    // The preset views: the face seen at the window's centre; Home comes back.
    const struct {
        const char* key;
        int face;
    } views[] = {{"1", front},     {"3", right},     {"7", top},
                 {"ctrl+1", back}, {"ctrl+3", left}, {"ctrl+7", bottom}};
    for (const auto& v : views) {
        ASSERT_TRUE(viewer_.key(v.key));
        EXPECT_TRUE(wait_until(patience, [&] {
            unsigned long p = viewer_.pixel(320, 240);
            const unsigned char rgb[3] = {(unsigned char)(p >> 16), (unsigned char)(p >> 8),
                                          (unsigned char)p};
            return hue(rgb) == v.face;
        })) << v.key;
    }
    ASSERT_TRUE(viewer_.key("Home"));
    EXPECT_TRUE(back_to(first));

    // Drags turn and tilt by the pointer's travel, wherever they begin; the
    // elevation stops short of the pole.
    const struct {
        int x0, y0, x1, y1;
        int gone, shown;  // a face no longer seen, a face seen more
    } turns[] = {{320, 240, 520, 240, right, left},
                 {320, 240, 320, 340, 0, top},
                 {320, 400, 320, 50, top, bottom}};
    for (const auto& t : turns) {
        ASSERT_TRUE(viewer_.drag(t.x0, t.y0, t.x1, t.y1));
        Pixels turned = changed_from(first);
        if (t.gone) {
            EXPECT_LT(of_face(turned, t.gone), 20) << t.y1;
        }
        EXPECT_GT(of_face(turned, t.shown), of_face(first, t.shown) * 3 / 2 + 300) << t.y1;
        ASSERT_TRUE(viewer_.key("Home"));
        ASSERT_TRUE(back_to(first));
        ASSERT_TRUE(viewer_.drag(t.x0 - 200, t.y0 - 20, t.x1 - 200, t.y1 - 20));
        EXPECT_TRUE(back_to(turned)) << "the same travel elsewhere turns the same";
        ASSERT_TRUE(viewer_.key("Home"));
        ASSERT_TRUE(back_to(first));
    }

    // The wheel: closer, then back to the very picture; never through.
    ASSERT_TRUE(viewer_.wheel(320, 240, 2));
    EXPECT_GT(of_face(changed_from(first), front), of_face(first, front) * 5 / 4);
    ASSERT_TRUE(viewer_.wheel(320, 240, -2));
    EXPECT_TRUE(back_to(first));
    ASSERT_TRUE(viewer_.wheel(320, 240, 40));
    Pixels closest = changed_from(first);
    ASSERT_TRUE(viewer_.wheel(320, 240, 5));
    EXPECT_EQ(viewer_.settled_screenshot(patience).rgb, closest.rgb) << "the closest place is kept";
    ASSERT_TRUE(viewer_.wheel(320, 240, -25));
    EXPECT_TRUE(back_to(first));

    // Orthographic and farther, a pan moves the picture with the pointer,
    // with Shift and the left button or with the middle one.
    ASSERT_TRUE(viewer_.key("5"));
    Pixels orthographic = changed_from(first);
    ASSERT_TRUE(viewer_.wheel(320, 240, -3));
    const Pixels flat = changed_from(orthographic);
    const struct {
        int dx, dy, button;
        const char* held;
    } pans[] = {{40, 30, 1, "shift"}, {-40, -30, 2, ""}};
    Pixels panned = flat;
    for (const auto& p : pans) {
        auto [x0, y0] = centroid(panned);
        ASSERT_TRUE(viewer_.drag(300, 200, 300 + p.dx, 200 + p.dy, p.button, p.held));
        panned = changed_from(panned);
        auto [x1, y1] = centroid(panned);
        EXPECT_NEAR(x1 - x0, p.dx, 0.5) << p.button;
        EXPECT_NEAR(y1 - y0, p.dy, 0.5) << p.button;
    }
    EXPECT_EQ(panned.rgb, flat.rgb);
    ASSERT_TRUE(viewer_.key("Home"));
    EXPECT_TRUE(back_to(first));

    // Overlays, each off again with its key: the grid's axes, the checker on
    // the face whose texture is missing, the help's panel, the information's
    // "not found" in red.
    const struct {
        const char* on;
        const char* off;
        std::function<bool(const unsigned char*)> pixel;
        int at_least;
    } overlays[] = {
        {"g", "g", exactly(255, 0, 0), 20},
        {"g", "g", exactly(0, 255, 0), 20},
        {"m", "m", exactly(255, 0, 255), 500},
        {"h", "F1",
         [](const unsigned char* p) { return p[0] < 100 && p[0] == p[1] && p[1] == p[2]; }, 20000},
        {"i", "i", exactly(255, 51, 51), 30},
    };
    for (const auto& o : overlays) {
        EXPECT_EQ(count(first, o.pixel), 0) << o.on;
        ASSERT_TRUE(viewer_.key(o.on));
        EXPECT_GE(count(changed_from(first), o.pixel), o.at_least) << o.on;
        ASSERT_TRUE(viewer_.key(o.off));
        EXPECT_TRUE(back_to(first)) << o.off;
    }
    // The menu's grid entry, the fourteenth of 25.
    ASSERT_TRUE(viewer_.choose(13, 25));
    EXPECT_GE(count(changed_from(first), exactly(255, 0, 0)), 20);
    ASSERT_TRUE(viewer_.key("g"));
    EXPECT_TRUE(back_to(first));

    // A spin draws frames until it stops; then the viewer rests.
    ASSERT_TRUE(viewer_.key("f"));
    EXPECT_TRUE(viewer_.wait_for_frames(4, patience));
    EXPECT_FALSE(viewer_.wait_until_at_rest(0.5)) << "the spin rests";
    ASSERT_TRUE(viewer_.key("f"));
    EXPECT_TRUE(viewer_.wait_until_at_rest(patience));
    ASSERT_TRUE(viewer_.key("Home"));
    ASSERT_TRUE(back_to(first));

    // F12, twice: new files beside the earlier one, each the window's picture.
    for (const char* name : {"cube-2.png", "cube-3.png"}) {
        std::string said = "screenshot: " + (dir_ / "pictures" / name).string() + "\n";
        ASSERT_TRUE(viewer_.key("F12"));
        ASSERT_TRUE(wait_until(patience, [&] {
            return viewer_.console().find(said) != std::string::npos;
        })) << viewer_.console();
        Png png = read_png(dir_ / "pictures" / name, PNG_FORMAT_RGB);
        Pixels shown = viewer_.screenshot();
        ASSERT_EQ(png.width, 640);
        ASSERT_EQ(png.height, 480);
        int x0 = 640 - shown.width, y0 = 480 - shown.height;
        bool same = true;
        for (int y = 0; y < shown.height; y++)
            same = same && !memcmp(shown.at(0, y), &png.pixels[size_t(3 * ((y + y0) * 640 + x0))],
                                   3 * size_t(shown.width));
        EXPECT_TRUE(same) << name;
    }
    EXPECT_EQ(read_file(dir_ / "pictures" / "cube.png"), "an earlier picture");

    // F11 fills the screen; Escape leaves full screen, then closes.
    ASSERT_TRUE(viewer_.key("F11"));
    EXPECT_TRUE(wait_until(patience, [&] { return viewer_.screenshot().width >= 1279; }));
    ASSERT_TRUE(viewer_.key("Escape"));
    EXPECT_TRUE(back_to(first));
    EXPECT_TRUE(viewer_.running());
    ASSERT_TRUE(viewer_.key("Escape"));
    ASSERT_TRUE(wait_until(patience, [&] { return !viewer_.running(); }));
    int status = viewer_.stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    // Nothing of the model was sent twice, and the overlays took no texture.
    EXPECT_EQ(traced(trace, "glBufferData"), 2);
    EXPECT_EQ(traced(trace, "glTexImage2D"), 0);
}

// q closes the viewer at once, in full screen too.
TEST_F(ModelControls, QQuitsAlsoInFullScreen)
{
    write_file(dir_ / "cube.ase", cube_model());
    for (bool full_screen : {false, true}) {
        RealViewer viewer;
        viewer.start({.folder = dir_, .args = {"cube.ase"}, .program = ASEVIEW_BIN,
                      .title = "cube.ase - aseview", .env = {"ASEVIEW_VIEW=model"}});
        ASSERT_TRUE(viewer.wait_for_first_frame(patience)) << viewer.console();
        if (full_screen) {
            ASSERT_TRUE(viewer.key("F11"));
            ASSERT_TRUE(wait_until(patience, [&] { return viewer.screenshot().width >= 1279; }));
        }
        ASSERT_TRUE(viewer.key("q"));
        EXPECT_TRUE(wait_until(patience, [&] { return !viewer.running(); })) << full_screen;
        int status = viewer.stop();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
}

// The default view's handlers know none of it: no frame, no file.
TEST_F(ModelControls, DefaultViewIgnoresTheWheelAndTheNewKeys)
{
    copy_run_files({"knot.ase", "map2.tga"}, dir_);
    viewer_.start(
        {.folder = dir_, .program = ASEVIEW_BIN, .env = {"XDG_PICTURES_DIR=" + dir_.string()}});
    ASSERT_TRUE(viewer_.wait_for_first_frame(patience));
    Pixels before = viewer_.settled_screenshot(patience);
    ASSERT_TRUE(viewer_.key("1 3 5 7 ctrl+1 h i g m l space q Escape Home F1 F5 F11 F12 Next Prior"));
    ASSERT_TRUE(viewer_.wheel(320, 240, 3));
    ASSERT_TRUE(viewer_.wheel(320, 240, -3));
    // Once it has read them, a frame they asked for would follow at once.
    ASSERT_TRUE(viewer_.wait_until_at_rest(patience));
    EXPECT_EQ(viewer_.frames_within(0.5), 0);
    EXPECT_EQ(viewer_.screenshot().rgb, before.rgb);
    EXPECT_TRUE(viewer_.running());
    EXPECT_FALSE(fs::exists(dir_ / "knot.png"));
}

}  // namespace
