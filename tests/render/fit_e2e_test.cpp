// The real viewer with ASEVIEW_VIEW: fitted frames of real and generated
// models, a wrong value refused, and without the fit the very GL calls of the
// default view, traced with apitrace.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "tests/support/corpus.h"
#include "tests/support/files.h"
#include "tools/driver/build_tree.h"
#include "tools/driver/viewer.h"

namespace fs = std::filesystem;

namespace {

const double patience = 60;

// Bounds of the pixels that are not the white background.
struct Extent {
    int x0, y0, x1, y1;
    int width() const { return x1 - x0 + 1; }
    int height() const { return y1 - y0 + 1; }
};

Extent extent(const Pixels& s)
{
    Extent e{s.width, s.height, -1, -1};
    for (int y = 0; y < s.height; y++)
        for (int x = 0; x < s.width; x++)
            if (!s.white(x, y))
                e = {std::min(e.x0, x), std::min(e.y0, y), std::max(e.x1, x), std::max(e.y1, y)};
    return e;
}

// The default knot with every vertex position scaled, then moved by `shift`
// on each axis.
std::string knot_variant(const std::string& knot, double scale, double shift)
{
    std::istringstream in(knot);
    std::ostringstream out;
    out.precision(9);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string tag;
        int index;
        double x, y, z;
        if (fields >> tag >> index >> x >> y >> z && tag == "*MESH_VERTEX")
            out << "*MESH_VERTEX " << index << ' ' << x * scale + shift << ' ' << y * scale + shift
                << ' ' << z * scale + shift << '\n';
        else
            out << line << '\n';
    }
    return out.str();
}

class FitTest : public ::testing::Test {
protected:
    void SetUp() override { copy_run_files({"knot.ase", "map2.tga"}, dir_); }

    // The first frame that the viewer presents for the model.
    Pixels first_frame(const std::string& model, const std::vector<std::string>& env)
    {
        RealViewer viewer;
        viewer.start({.folder = dir_, .args = {model}, .program = ASEVIEW_BIN, .env = env});
        if (!viewer.wait_for_first_frame(patience)) {
            ADD_FAILURE() << model << ": no frame; console: " << viewer.console();
            return {};
        }
        return viewer.screenshot();
    }

    ScratchFolder scratch_;
    const fs::path dir_ = scratch_.path();
};

const std::vector<std::string> fit = {"ASEVIEW_VIEW=fit"};

// Every model with faces, the real ones and the knot made far smaller,
// larger and off-centre: inside the window on every side and spanning at
// least 60 % of it along its longer side.
TEST_F(FitTest, FittedModelsFillTheWindowWithoutTouchingAnEdge)
{
    SKIP_WITHOUT_CORPUS();
    std::vector<std::string> models = {"knot.ase"};
    for (const char* name : {"CameraRollAnim.ase", "InvalidUVIndex.ase", "RotatingCube.ASE",
                             "ThreeCubesGreen.ASE", "UVTransform_Normal.ASE", "anim.ASE"})
        models.push_back(corpus_path(std::string("ase/") + name));
    const std::string knot = read_file(dir_ / "knot.ase");
    const struct {
        const char* name;
        double scale, shift;
    } variants[] = {{"tiny.ase", 0.001, 0}, {"huge.ase", 1000, 0}, {"moved.ase", 1, 1e4}};
    for (const auto& v : variants) {
        write_file(dir_ / v.name, knot_variant(knot, v.scale, v.shift));
        models.push_back(v.name);
    }
    for (const std::string& model : models) {
        Pixels s = first_frame(model, fit);
        if (!s.width)
            continue;
        Extent e = extent(s);
        std::printf("%-40s %3d x %3d at %3d, %3d: %4.1f %% of the width, %4.1f %% of the height\n",
                    fs::path(model).filename().c_str(), e.width(), e.height(), e.x0, e.y0,
                    100.0 * e.width() / s.width, 100.0 * e.height() / s.height);
        EXPECT_TRUE(e.x0 > 0 && e.y0 > 0 && e.x1 < s.width - 1 && e.y1 < s.height - 1)
            << model << " touches an edge";
        double longer =
            e.width() >= e.height() ? double(e.width()) / s.width : double(e.height()) / s.height;
        EXPECT_GE(longer, 0.6) << model;
    }
}

// Faces that name no vertex draw nothing: the fitted view has nothing to
// frame and shows the default view's frame, pixel for pixel.
TEST_F(FitTest, ModelWithoutDrawableFaceShowsTheDefaultFrame)
{
    write_file(dir_ / "bad.ase", "*MESH_NUMVERTEX 3\n*MESH_NUMFACES 1\n"
                                 "*MESH_VERTEX 0 -900 0 0\n*MESH_VERTEX 1 900 0 0\n"
                                 "*MESH_VERTEX 2 0 900 0\n*MESH_FACE 0: A: 0 B: 1 C: 7\n");
    Pixels fitted = first_frame("bad.ase", fit), plain = first_frame("bad.ase", {});
    ASSERT_TRUE(fitted.width && plain.width);
    EXPECT_EQ(fitted.rgb, plain.rgb);
    EXPECT_LT(extent(plain).width(), 10) << "only the small extra triangle shows";
}

// Refused like the viewer's other fatal errors, before it prints or writes
// anything.
TEST_F(FitTest, WrongValueEndsWithStatusOneBeforeAnything)
{
    for (const char* value : {"Fit", "fit ", "default", "1"}) {
        RealViewer viewer;
        viewer.start({.folder = dir_,
                      .program = ASEVIEW_BIN,
                      .with_display = false,
                      .env = {std::string("ASEVIEW_VIEW=") + value}});
        ASSERT_TRUE(wait_until(patience, [&] { return !viewer.running(); })) << value;
        int status = viewer.stop();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << value;
        EXPECT_EQ(viewer.console(), "ASEVIEW_VIEW must be fit, model or empty\n") << value;
        EXPECT_EQ(viewer.errors(), "") << value;
        EXPECT_FALSE(fs::exists(dir_ / "dump.txt")) << value;
    }
}

// The GL calls, as apitrace's dump prints them, from the first reshape to the
// end of the first frame, and those of the 'w' key and the frame after it.
// Window-system calls, whose arguments are addresses, are left out.
std::string traced_calls(const std::string& trace)
{
    std::string command = std::string(APITRACE) + " dump --color=never '" + trace + "'";
    FILE* dump = popen(command.c_str(), "r");
    if (dump == nullptr)
        return {};
    std::string all, picked;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, dump))
        all += buffer;
    pclose(dump);
    std::istringstream lines(all);
    enum { before, reshape_and_frame, between, key_and_frame, done } part = before;
    for (std::string line; std::getline(lines, line) && part != done;) {
        size_t call = line.find(' ');
        if (call == std::string::npos || line.compare(call + 1, 2, "gl") != 0 ||
            line.compare(call + 1, 3, "glX") == 0 || line.find("// fake") != std::string::npos)
            continue;
        line.erase(0, call + 1);
        if (part == before && line == "glViewport(x = 0, y = 0, width = 640, height = 480)")
            part = reshape_and_frame;
        if (part == between && line == "glEnable(cap = GL_LINE_SMOOTH)")
            part = key_and_frame;
        if (part == reshape_and_frame || part == key_and_frame)
            picked += line + '\n';
        if (line == "glFlush()")
            part = part == reshape_and_frame ? between : part == key_and_frame ? done : part;
    }
    return picked;
}

// Unset or empty, the variable leaves every call as the viewer made it before
// the fitted view existed; the expected calls were traced from that viewer.
TEST_F(FitTest, WithoutTheFitTheFramesMakeTheSameGlCalls)
{
    write_file(dir_ / "square.ase", read_file(DEFAULT_VIEW_DATA "/square.ase"));
    const std::string want = read_file(DEFAULT_VIEW_DATA "/gl_calls.txt");
    ASSERT_FALSE(want.empty());
    // A sanitized viewer accepts the tracer loaded before its runtime.
    const char* asan = std::getenv("ASAN_OPTIONS");
    std::string asan_options = std::string("ASAN_OPTIONS=") + (asan ? asan : "") +
                               (asan && *asan ? ":" : "") + "verify_asan_link_order=0";
    for (const char* setting : {"", "ASEVIEW_VIEW="}) {
        std::string trace = dir_ / "calls.trace";
        fs::remove(trace);
        std::vector<std::string> env = {"LD_PRELOAD=" GLXTRACE, "TRACE_FILE=" + trace,
                                        asan_options};
        if (*setting)
            env.push_back(setting);
        RealViewer viewer;
        viewer.start({.folder = dir_, .args = {"square.ase"}, .program = ASEVIEW_BIN, .env = env});
        ASSERT_TRUE(viewer.wait_for_first_frame(patience)) << viewer.errors();
        Pixels filled = viewer.screenshot();
        ASSERT_TRUE(viewer.key("w"));
        EXPECT_TRUE(wait_until(patience, [&] { return viewer.screenshot().rgb != filled.rgb; }))
            << "no wireframe";
        viewer.stop();
        EXPECT_EQ(traced_calls(trace), want) << "with \"" << setting << "\"";
    }
}

}  // namespace
