// The real viewer started as a separate process in a scratch directory under
// the test's X server: console lines, exit status, dumps and the window; and
// make_screenshot, which runs it on its own.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <map>
#include <optional>

#include "tests/support/files.h"
#include "tests/support/png_read.h"
#include "tests/support/targa.h"
#include "tools/driver/build_tree.h"
#include "tools/driver/viewer.h"

namespace fs = std::filesystem;

namespace {

using Dumps = std::map<std::string, std::optional<std::string>>;

struct Outcome {
    std::string console, errors;
    std::optional<int> exit_status;  // empty when it kept running until stopped
    WindowPlace window;  // none unless a frame showed
    unsigned long centre = 0;  // 0xRRGGBB a little up and left of the window's centre
    Dumps dumps_at_first_frame;
};

const char* const dump_names[] = {"dump.txt", "norm.txt", "vnorml.txt"};

Dumps read_dumps(const fs::path& dir)
{
    Dumps dumps;
    for (const char* name : dump_names)
        dumps[name] = fs::is_regular_file(dir / name) ? std::optional(read_file(dir / name))
                                                      : std::nullopt;
    return dumps;
}

// Each test in a scratch folder; the viewer runs in its "run" folder, which
// holds the texture.
class AppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directory(run_);
        copy_run_files({"map2.tga"}, run_);
    }

    // Starts the viewer in the run folder; without a display it must not
    // get as far as the toolkit. A viewer that reaches its main loop is
    // watched until its first frame is presented, then stopped.
    Outcome run(const std::vector<std::string>& args, bool with_display = true,
                const std::string& program = ASEVIEW_BIN)
    {
        RealViewer viewer;
        viewer.start({.folder = run_, .args = args, .program = program, .with_display = with_display});
        Outcome o;
        bool shown = with_display && viewer.wait_for_first_frame(60);
        if (shown) {
            o.window = viewer.window();
            o.centre = viewer.pixel(o.window.width / 2 - 4, o.window.height / 2 - 4);
            o.dumps_at_first_frame = read_dumps(run_);
        }
        bool ended = !shown && wait_until(with_display ? 0 : 60, [&] { return !viewer.running(); });
        bool settled = shown || ended;
        int status = viewer.stop(settled ? SIGTERM : SIGKILL);
        if (!ended) {
            EXPECT_TRUE(settled) << "neither ended nor showed a frame in time";
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
        } else if (WIFEXITED(status)) {
            o.exit_status = WEXITSTATUS(status);
        } else {
            ADD_FAILURE() << "ended by signal " << WTERMSIG(status);
        }
        o.console = viewer.console();
        o.errors = viewer.errors();
        return o;
    }
    Outcome run_square();  // the square model as run/square.ase

    void expect_no_dumps()
    {
        for (const char* name : dump_names)
            EXPECT_FALSE(fs::exists(run_ / name)) << name;
    }

    ScratchFolder scratch_;
    const fs::path base_ = scratch_.path(), run_ = base_ / "run";
};

// Four vertices listed 0 to 3, two faces; vertex 0 is named by two normal
// lines, of which the second counts.
const char* const square_model = R"(*3DSMAX_ASCIIEXPORT	200
*GEOMOBJECT {
	*NODE_NAME "square"
	*MESH {
		*TIMEVALUE 0
		*MESH_NUMVERTEX 4
		*MESH_NUMFACES 2
		*MESH_VERTEX_LIST {
			*MESH_VERTEX    0	-20.0000	-20.0000	0.0000
			*MESH_VERTEX    1	20.0000	-20.0000	0.0000
			*MESH_VERTEX    2	20.0000	20.0000	0.0000
			*MESH_VERTEX    3	-20.0000	20.0000	1.5000
		}
		*MESH_FACE_LIST {
			*MESH_FACE    0:    A:    0 B:    1 C:    2 AB:    1 BC:    1 CA:    0	 *MESH_SMOOTHING 1 	*MESH_MTLID 0
			*MESH_FACE    1:    A:    0 B:    2 C:    3 AB:    1 BC:    1 CA:    0	 *MESH_SMOOTHING 1 	*MESH_MTLID 0
		}
		*MESH_NORMALS {
			*MESH_FACENORMAL 0	0.0000	0.0000	1.0000
				*MESH_VERTEXNORMAL 0	0.0000	0.0000	1.0000
				*MESH_VERTEXNORMAL 1	0.0000	0.0000	1.0000
				*MESH_VERTEXNORMAL 2	0.0000	0.0000	1.0000
			*MESH_FACENORMAL 1	0.0000	0.0000	-1.0000
				*MESH_VERTEXNORMAL 0	0.0000	0.5000	1.0000
				*MESH_VERTEXNORMAL 2	0.0000	0.0000	1.0000
				*MESH_VERTEXNORMAL 3	0.2500	0.0000	1.0000
		}
	}
}
)";

const char* const square_dump =
    "HEEEEEEEEELLLLO\n-----MAX_FACES = 2\n"
    "vertex pos = 0\n X=-20.000000\n\t\t\t\tY=-20.000000\n\tZ=0.000000\n"
    "vertex pos = 1\n X=20.000000\n\t\t\t\tY=-20.000000\n\tZ=0.000000\n"
    "vertex pos = 2\n X=20.000000\n\t\t\t\tY=20.000000\n\tZ=0.000000\n"
    "vertex pos = 3\n X=-20.000000\n\t\t\t\tY=20.000000\n\tZ=1.500000\n";
const char* const square_norm =
    "face num=0\nX Comp = 0.000000\tY Comp = 0.000000\tZ Comp 1.000000\n\n"
    "face num=1\nX Comp = 0.000000\tY Comp = 0.000000\tZ Comp -1.000000\n\n";
const char* const square_vnorm =
    "position = 0\t x = 0.000000\t y = 0.500000\t z = 1.000000\n"
    "position = 1\t x = 0.000000\t y = 0.000000\t z = 1.000000\n"
    "position = 2\t x = 0.000000\t y = 0.000000\t z = 1.000000\n"
    "position = 3\t x = 0.250000\t y = 0.000000\t z = 1.000000\n";
const char* const dump_lines =
    "************ vertex dump *********\nv_pos = 3\n****** face data *********\n";
const std::string square_loaded = "argc = 2\nLoading file square.ase\nLoad succesfult\n";

// The square ten times as large: far wider than the view at its depth.
const char* const cover_model = R"(*MESH_NUMVERTEX 4
*MESH_NUMFACES 2
*MESH_VERTEX 0 -200.0 -200.0 0.0
*MESH_VERTEX 1 200.0 -200.0 0.0
*MESH_VERTEX 2 200.0 200.0 0.0
*MESH_VERTEX 3 -200.0 200.0 0.0
*MESH_FACE 0: A: 0 B: 1 C: 2
*MESH_FACE 1: A: 0 B: 2 C: 3
*MESH_FACENORMAL 0 0.0 0.0 1.0
*MESH_VERTEXNORMAL 0 0.0 0.0 1.0
*MESH_VERTEXNORMAL 1 0.0 0.0 1.0
*MESH_VERTEXNORMAL 2 0.0 0.0 1.0
*MESH_FACENORMAL 1 0.0 0.0 1.0
*MESH_VERTEXNORMAL 0 0.0 0.0 1.0
*MESH_VERTEXNORMAL 2 0.0 0.0 1.0
*MESH_VERTEXNORMAL 3 0.0 0.0 1.0
)";

Outcome AppTest::run_square()
{
    write_file(run_ / "square.ase", square_model);
    return run({"square.ase"});
}

void expect_square_dumps(const Dumps& dumps)
{
    EXPECT_EQ(dumps.at("dump.txt"), square_dump);
    EXPECT_EQ(dumps.at("norm.txt"), square_norm);
    EXPECT_EQ(dumps.at("vnorml.txt"), square_vnorm);
}

void expect_running_window(const Outcome& o)
{
    EXPECT_FALSE(o.exit_status.has_value());
    ASSERT_NE(o.window.id, 0u) << "no frame showed";
    EXPECT_EQ(o.window.width, 640);
    EXPECT_EQ(o.window.height, 480);
}

TEST_F(AppTest, NoArgumentLoadsKnotAseFromTheWorkingDirectory)
{
    write_file(run_ / "knot.ase", square_model);
    Outcome o = run({});
    EXPECT_EQ(o.console, std::string("argc = 1\nloading default knot model\n") + dump_lines);
    expect_running_window(o);
    EXPECT_NE(o.centre, 0xffffffu) << "the model covers the centre";
    // The dumps were complete before the first frame showed.
    expect_square_dumps(o.dumps_at_first_frame);
}

TEST_F(AppTest, OneArgumentIsTheModelPath)
{
    fs::path model = base_ / "square.ase";
    write_file(model, square_model);
    Outcome o = run({model.string()});
    EXPECT_EQ(o.console, "argc = 2\nLoading file " + model.string() + "\nLoad succesfult\n" +
                             dump_lines);
    expect_running_window(o);
    EXPECT_NE(o.centre, 0xffffffu);
    expect_square_dumps(o.dumps_at_first_frame);
}

TEST_F(AppTest, OnlyTheFirstOfThreeArgumentsIsUsed)
{
    write_file(run_ / "square.ase", square_model);
    Outcome o = run({"square.ase", "missing.ase", "knot.ase"});
    EXPECT_EQ(o.console,
              std::string("argc = 4\nLoading file square.ase\nLoad succesfult\n") + dump_lines);
    expect_running_window(o);
    expect_square_dumps(o.dumps_at_first_frame);
}

// A model without mesh keywords is no error: an empty store and an empty window.
TEST_F(AppTest, ModelWithoutMeshShowsNothing)
{
    write_file(run_ / "empty.ase", "*3DSMAX_ASCIIEXPORT\t200\n*COMMENT \"nothing here\"\n");
    Outcome o = run({"empty.ase"});
    EXPECT_EQ(o.console, "argc = 2\nLoading file empty.ase\nLoad succesfult\n"
                         "************ vertex dump *********\nv_pos = 0\n"
                         "****** face data *********\n");
    expect_running_window(o);
    EXPECT_EQ(o.centre, 0xffffffu);
    EXPECT_EQ(o.dumps_at_first_frame.at("dump.txt"), "HEEEEEEEEELLLLO\n-----MAX_FACES = 0\n");
    EXPECT_EQ(o.dumps_at_first_frame.at("norm.txt"), "");
    EXPECT_EQ(o.dumps_at_first_frame.at("vnorml.txt"), "");
}

// Failures while loading come before the toolkit: run without a display, the
// viewer would otherwise stop with the toolkit's own complaint on stderr.
struct LoadFailure {
    const char* name;
    const char* model_text;  // null: the file does not exist
    std::vector<std::string> args;
    std::string console;
};

const std::string model_loading = "argc = 2\nLoading file model.ase\n",
                  not_there = "File not there or something ;|\n",
                  no_vertices = "error in d_data *alloc_data() function\n";

class LoadFailureTest : public AppTest, public ::testing::WithParamInterface<LoadFailure> {};

TEST_P(LoadFailureTest, EndsWithStatusOneBeforeAnyWindow)
{
    const LoadFailure& c = GetParam();
    if (c.model_text)
        write_file(run_ / "model.ase", c.model_text);
    Outcome o = run(c.args, false);
    EXPECT_EQ(o.console, c.console);
    EXPECT_EQ(o.exit_status, 1);
    EXPECT_EQ(o.errors, "");
    expect_no_dumps();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadFailureTest,
    ::testing::Values(
        LoadFailure{"missing_model", nullptr, {"model.ase"}, model_loading + not_there},
        LoadFailure{"missing_default", nullptr, {},
                    "argc = 1\nloading default knot model\n" + not_there},
        // A toolkit option is taken as the model path.
        LoadFailure{"toolkit_option_first", nullptr, {"-display", ":0"},
                    "argc = 3\nLoading file -display\n" + not_there},
        LoadFailure{"negative_vertex_count", "*MESH_NUMVERTEX -1\n*MESH_NUMFACES 2\n",
                    {"model.ase"}, model_loading + no_vertices},
        // Hostile but well-formed: far more than the machine can hold.
        LoadFailure{"two_billion_vertices", "*MESH_NUMVERTEX 2000000000\n", {"model.ase"},
                    model_loading + no_vertices},
        LoadFailure{"two_billion_faces", "*MESH_NUMVERTEX 3\n*MESH_NUMFACES 2000000000\n",
                    {"model.ase"}, model_loading + "error in face_data *alloc_faces() function\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppTest, MissingTextureEndsBeforeTheDumps)
{
    fs::remove(run_ / "map2.tga");
    Outcome o = run_square();
    EXPECT_EQ(o.console, square_loaded + "could not open \"map2.tga\"\n");
    EXPECT_EQ(o.exit_status, 1);
    expect_no_dumps();
}

TEST_F(AppTest, UndecodableTextureEndsBeforeTheDumps)
{
    write_file(run_ / "map2.tga", "not a picture at all, just some text");
    Outcome o = run_square();
    EXPECT_EQ(o.console, square_loaded + "not TGA or PCX image\n");
    EXPECT_EQ(o.exit_status, 1);
    expect_no_dumps();
}

// A header claiming 65535 x 65535 pixels with a few bytes behind it is refused
// at its first row, without reaching for 17 GB.
TEST_F(AppTest, HugeTextureHeaderEndsCleanly)
{
    const std::string tail = "a few bytes";
    write_file(run_ / "map2.tga", tga_bytes({.width = 65535, .height = 65535, .bpp = 32},
                                            Bytes(tail.begin(), tail.end())));
    Outcome o = run_square();
    EXPECT_EQ(o.console, square_loaded + "not TGA or PCX image\n");
    EXPECT_EQ(o.exit_status, 1);
}

TEST_F(AppTest, NormDumpThatCannotBeCreatedIsFatal)
{
    fs::create_directory(run_ / "norm.txt");
    Outcome o = run_square();
    EXPECT_EQ(o.console, square_loaded + "************ vertex dump *********\nv_pos = 3\n"
                                         "error in dump_norm()\n");
    EXPECT_EQ(o.exit_status, 1);
    EXPECT_EQ(read_file(run_ / "dump.txt"), square_dump);
    EXPECT_FALSE(fs::exists(run_ / "vnorml.txt"));
}

TEST_F(AppTest, VnormDumpThatCannotBeCreatedIsSilent)
{
    fs::create_directory(run_ / "vnorml.txt");
    Outcome o = run_square();
    EXPECT_EQ(o.console, square_loaded + dump_lines);
    expect_running_window(o);
    EXPECT_EQ(o.dumps_at_first_frame.at("dump.txt"), square_dump);
    EXPECT_EQ(o.dumps_at_first_frame.at("norm.txt"), square_norm);
    EXPECT_TRUE(fs::is_directory(run_ / "vnorml.txt"));
}

// A load that blocks (a FIFO with no writer) and is killed has already
// passed on its first console lines.
TEST_F(AppTest, KilledLoadLeavesItsFirstConsoleLines)
{
    ASSERT_EQ(mkfifo((run_ / "model.ase").c_str(), 0644), 0);
    RealViewer viewer;
    viewer.start({.folder = run_, .args = {"model.ase"}, .program = ASEVIEW_BIN, .with_display = false});
    EXPECT_TRUE(wait_until(30, [&] { return viewer.console() == model_loading; })) << viewer.console();
    EXPECT_TRUE(viewer.running());
    int status = viewer.stop(SIGKILL);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(viewer.console(), model_loading);
}

// A full disk: the dump that does not fit takes the path of a failed open
// and the earlier dumps stay. The run folder is a small tmpfs, filled up,
// where one can be mounted; otherwise a file size limit that the dumps pass
// stands in for it.
TEST_F(AppTest, FullDiskKeepsTheEarlierDumps)
{
    copy_run_files({"knot.ase"}, base_);
    struct Mount {
        fs::path at;
        bool done = mount("tmpfs", at.c_str(), "tmpfs", 0, "size=1m") == 0;
        ~Mount()
        {
            if (done)
                umount2(at.c_str(), MNT_DETACH);
        }
    } tmpfs{run_};
    if (tmpfs.done)
        copy_run_files({"map2.tga"}, run_);
    for (const char* name : dump_names)
        write_file(run_ / name, std::string("earlier ") + name);
    if (tmpfs.done) {
        int fd = open((run_ / "filler").c_str(), O_WRONLY | O_CREAT, 0644);
        static const char block[4096] = {};
        while (write(fd, block, sizeof block) > 0)
            continue;
        close(fd);
    }
    rlimit unlimited, limit = {1000, 1000};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    if (!tmpfs.done) {
        signal(SIGXFSZ, SIG_IGN);  // the viewer then sees EFBIG instead
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    RealViewer viewer;
    viewer.start({.folder = run_, .args = {(base_ / "knot.ase").string()}, .program = ASEVIEW_BIN});
    setrlimit(RLIMIT_FSIZE, &unlimited);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(viewer.wait_for_first_frame(60));
    EXPECT_EQ(viewer.stop(), 1 << 8) << "exit status 1";
    std::string console = viewer.console();
    std::string loaded = "argc = 2\nLoading file " + (base_ / "knot.ase").string() + "\nLoad succesfult\n";
    EXPECT_EQ(console.rfind(loaded + "************ vertex dump *********\nPROBLEM\nv_pos = ", 0), 0u) << console;
    EXPECT_TRUE(console.ends_with("\n****** face data *********\nerror in dump_norm()\n")) << console;
    for (const char* name : dump_names)
        EXPECT_EQ(read_file(run_ / name), std::string("earlier ") + name);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(run_))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected = {"dump.txt", "map2.tga", "norm.txt", "vnorml.txt"};
    if (tmpfs.done)
        expected.insert(expected.begin() + 1, "filler");
    EXPECT_EQ(left, expected) << "no temporary file is left";
}

// Two viewers started at once in one folder on two models: each dump is
// whole, the one or the other's, as each writes it alone.
TEST_F(AppTest, TwoViewersInOneFolderLeaveWholeDumps)
{
    const char* const models[] = {"a.ase", "b.ase"};
    int faces = 60000;
    for (const char* model : models) {
        std::string make = "'" ASEVIEW_BUILD_DIR "/bin/make_knot' '" + (base_ / model).string() + "' " +
                           std::to_string(faces += 2000) + " >/dev/null";
        ASSERT_EQ(std::system(make.c_str()), 0);
    }
    std::map<std::string, Dumps> alone;
    for (const char* model : models) {
        fs::path folder = base_ / (std::string("alone_") + model);
        fs::create_directory(folder);
        copy_run_files({"map2.tga"}, folder);
        RealViewer viewer;
        viewer.start({.folder = folder, .args = {(base_ / model).string()}, .program = ASEVIEW_BIN});
        ASSERT_TRUE(viewer.wait_for_first_frame(60)) << viewer.console();
        alone[model] = read_dumps(folder);
    }
    // Side by side, so that each shows its frames.
    RealViewer a, b;
    a.start({.folder = run_, .args = {(base_ / "a.ase").string(), "-geometry", "+0+0"}, .program = ASEVIEW_BIN});
    b.start({.folder = run_, .args = {(base_ / "b.ase").string(), "-geometry", "+640+0"}, .program = ASEVIEW_BIN});
    ASSERT_TRUE(a.wait_for_first_frame(60) && b.wait_for_first_frame(60)) << a.console() << b.console();
    Dumps together = read_dumps(run_);
    for (const char* name : dump_names)
        EXPECT_TRUE(together[name] == alone["a.ase"][name] || together[name] == alone["b.ase"][name])
            << name << " is neither's";
    EXPECT_EQ(std::distance(fs::directory_iterator(run_), fs::directory_iterator()), 4) << "no temporary file is left";
}

// An installed copy runs from any folder where its own tools made the model
// and the texture.
TEST_F(AppTest, InstalledViewerRunsWithItsToolsOutput)
{
    fs::path prefix = base_ / "prefix", bin = prefix / "bin";
    std::string install = "'" CMAKE_BIN "' --install '" ASEVIEW_BUILD_DIR "' --prefix '" +
                          prefix.string() + "' >/dev/null";
    ASSERT_EQ(std::system(install.c_str()), 0);
    fs::remove(run_ / "map2.tga");
    std::string make = "cd '" + run_.string() + "' && '" + (bin / "make_knot").string() +
                       "' knot.ase >/dev/null && '" + (bin / "make_texture").string() +
                       "' map2.tga >/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0);
    Outcome o = run({}, true, (bin / "aseview").string());
    EXPECT_EQ(o.console.rfind("argc = 1\nloading default knot model\n", 0), 0u) << o.console;
    expect_running_window(o);
    std::optional<std::string> dump = o.dumps_at_first_frame.at("dump.txt");
    ASSERT_TRUE(dump.has_value());
    EXPECT_EQ(dump->rfind("HEEEEEEEEELLLLO\n-----MAX_FACES = 7680\n", 0), 0u) << "the default knot";
    // make_screenshot finds the installed viewer and make_texture beside
    // itself (the working directory has no map2.tga).
    std::string shot = "cd '" + base_.string() + "' && '" + (bin / "make_screenshot").string() +
                       "' run/knot.ase shot.png >/dev/null";
    EXPECT_EQ(std::system(shot.c_str()), 0);
    EXPECT_EQ(read_png(base_ / "shot.png", PNG_FORMAT_RGB).width, 640);
}

// make_screenshot as a user runs it, from the scratch folder, with a
// temporary directory of its own; it is watched for the viewer's frames on
// the test's display.
struct Shot {
    int status = -1;  // -1: it did not exit by itself in time
    std::string out, err;
    bool frame_on_test_display = false;
};

class ScreenshotTest : public AppTest {
protected:
    Shot shoot(const std::vector<std::string>& args, bool with_display = true)
    {
        fs::create_directory(tmp_);
        RealViewer tool;
        tool.start({.folder = base_, .args = args, .program = MAKE_SCREENSHOT_BIN,
                    .with_display = with_display, .env = {"TMPDIR=" + tmp_.string()}});
        Shot shot;
        shot.frame_on_test_display = with_display && tool.wait_for_first_frame(60);
        bool ended = wait_until(120, [&] { return !tool.running(); });
        int status = tool.stop(SIGKILL);
        shot.status = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        shot.out = tool.console();
        shot.err = tool.errors();
        return shot;
    }

    void expect_no_scratch_left() { EXPECT_TRUE(fs::is_empty(tmp_)) << "scratch left in " << tmp_; }

    const fs::path tmp_ = base_ / "tmp", png_ = base_ / "shot.png";
};

// How many pixels of a picture are pure white, and how many pure black.
struct Extremes {
    int white = 0, black = 0;
};

Extremes extremes(const Png& png)
{
    Extremes e;
    for (size_t i = 0; i < png.pixels.size(); i += 3) {
        int sum = png.pixels[i] + png.pixels[i + 1] + png.pixels[i + 2];
        e.white += sum == 3 * 255;
        e.black += sum == 0;
    }
    return e;
}

// Each entry's path and type.
std::vector<std::string> folder_listing(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        names.push_back(entry.path().string() + " " + std::to_string(int(entry.symlink_status().type())));
    std::sort(names.begin(), names.end());
    return names;
}

struct Refusal {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string named;  // the path the one line on stderr names; empty: usage
};

class ScreenshotRefusalTest : public ScreenshotTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(ScreenshotRefusalTest, RefusesBeforeStartingAnything)
{
    const Refusal& c = GetParam();
    write_file(base_ / "square.ase", square_model);
    fs::create_directory(base_ / "folder.ase");
    fs::create_directory(tmp_);
    ASSERT_EQ(mkfifo((base_ / "in.fifo").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo((base_ / "out.fifo").c_str(), 0644), 0);
    fs::create_symlink("/dev/null", base_ / "null.png");
    std::vector<std::string> before = folder_listing(base_);
    Shot shot = shoot(c.args);
    EXPECT_EQ(shot.status, c.status);
    if (c.status == 0) {
        EXPECT_EQ(shot.out.rfind("usage: make_screenshot [--keep DIR] MODEL OUT.png\n", 0), 0u) << shot.out;
        EXPECT_EQ(shot.err, "");
    } else if (c.named.empty()) {
        EXPECT_EQ(shot.err.rfind("usage: make_screenshot [--keep DIR] MODEL OUT.png\n", 0), 0u) << shot.err;
    } else {
        EXPECT_EQ(std::count(shot.err.begin(), shot.err.end(), '\n'), 1) << shot.err;
        EXPECT_NE(shot.err.find(c.named), std::string::npos) << shot.err;
        EXPECT_EQ(shot.out, "");
    }
    EXPECT_EQ(folder_listing(base_), before) << "nothing written";
    EXPECT_TRUE(fs::is_character_file("/dev/full") && fs::is_character_file("/dev/null"));
    EXPECT_FALSE(shot.frame_on_test_display);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScreenshotRefusalTest,
    ::testing::Values(
        Refusal{"unreadable_model", {"missing.ase", "shot.png"}, 2, "missing.ase"},
        Refusal{"model_is_a_directory", {"folder.ase", "shot.png"}, 2, "folder.ase"},
        // Refused at once: opening a FIFO to read it waits for a writer.
        Refusal{"model_is_a_fifo", {"in.fifo", "shot.png"}, 2, "in.fifo"},
        Refusal{"model_is_a_device", {"/dev/zero", "shot.png"}, 2, "/dev/zero"},
        // Renaming a picture over them would put them out of place.
        Refusal{"output_is_a_device", {"square.ase", "/dev/full"}, 2, "/dev/full"},
        Refusal{"output_is_a_fifo", {"square.ase", "out.fifo"}, 2, "out.fifo"},
        Refusal{"output_is_a_folder", {"square.ase", "folder.ase"}, 2, "folder.ase"},
        Refusal{"output_links_to_a_device", {"square.ase", "null.png"}, 2, "null.png"},
        Refusal{"missing_output_folder", {"square.ase", "nowhere/shot.png"}, 2, "nowhere"},
        Refusal{"keep_without_parent", {"--keep", "nowhere/run", "square.ase", "shot.png"}, 2,
                "nowhere"},
        Refusal{"unknown_option", {"-x", "square.ase", "shot.png"}, 2, ""},
        Refusal{"one_operand", {"square.ase"}, 2, ""},
        Refusal{"help", {"--help"}, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The whole window, 640 x 480, as the first frame left it: the model in the
// middle, the white clear colour in the corners; it replaces an earlier
// picture and keeps its permissions. The texture is the default
// one, as the working directory has none.
TEST_F(ScreenshotTest, KeptRunFolderHoldsTheDumpsAndTheConsole)
{
    fs::path model = base_ / "square.ase", kept = base_ / "kept";
    write_file(model, square_model);
    write_file(png_, "an earlier picture, private");
    const fs::perms private_file = fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(png_, private_file);
    Shot shot = shoot({"--keep", "kept", "square.ase", "shot.png"});
    EXPECT_EQ(shot.status, 0) << shot.err;
    EXPECT_EQ(shot.out, png_.string() + "\n");
    EXPECT_EQ(shot.err, "");
    EXPECT_TRUE(shot.frame_on_test_display) << "DISPLAY is used when usable";
    Png png = read_png(png_, PNG_FORMAT_RGB);
    ASSERT_EQ(png.width, 640);
    ASSERT_EQ(png.height, 480);
    auto white = [&](int x, int y) {
        const uint8_t* p = &png.pixels[3 * (y * 640 + x)];
        return p[0] == 255 && p[1] == 255 && p[2] == 255;
    };
    EXPECT_TRUE(white(0, 0) && white(639, 0) && white(0, 479) && white(639, 479));
    EXPECT_FALSE(white(316, 236)) << "the model covers the centre";
    EXPECT_EQ(fs::status(png_).permissions(), private_file) << "the earlier picture's permissions stay";

    EXPECT_EQ(read_file(kept / "console.txt"),
              "argc = 4\nLoading file " + model.string() + "\nLoad succesfult\n" + dump_lines);
    expect_square_dumps(read_dumps(kept));
    EXPECT_EQ(read_file(kept / "map2.tga"), read_file(ASEVIEW_BUILD_DIR "/run/map2.tga"));
    expect_no_scratch_left();
}

// Two faces far larger than the view: no white pixel is left, yet the first
// frame is seen. Without DISPLAY it runs on an Xvfb of its own.
TEST_F(ScreenshotTest, ModelCoveringEveryPixelWithoutDisplay)
{
    write_file(base_ / "cover.ase", cover_model);
    Shot shot = shoot({"cover.ase", "shot.png"}, false);
    EXPECT_EQ(shot.status, 0) << shot.err;
    EXPECT_EQ(shot.out, png_.string() + "\n");
    Png png = read_png(png_, PNG_FORMAT_RGB);
    ASSERT_EQ(png.width, 640);
    ASSERT_EQ(png.height, 480);
    EXPECT_EQ(extremes(png).white, 0);
    EXPECT_EQ(extremes(png).black, 0) << "before its first frame the window shows the black screen beneath";
    expect_no_scratch_left();
}

// Each of two runs at once on one display takes its own viewer's window,
// though both bear the same title.
TEST_F(ScreenshotTest, TwoAtOnceOnOneDisplayTakeTheirOwnWindows)
{
    write_file(base_ / "square.ase", square_model);
    write_file(base_ / "cover.ase", cover_model);
    RealViewer square, cover;
    square.start({.folder = base_, .args = {"square.ase", "square.png"}, .program = MAKE_SCREENSHOT_BIN});
    cover.start({.folder = base_, .args = {"cover.ase", "cover.png"}, .program = MAKE_SCREENSHOT_BIN});
    ASSERT_TRUE(wait_until(120, [&] { return !square.running() && !cover.running(); }));
    EXPECT_EQ(square.stop(), 0) << "exit status 0";
    EXPECT_EQ(cover.stop(), 0) << "exit status 0";
    Png square_png = read_png(base_ / "square.png", PNG_FORMAT_RGB);
    Png cover_png = read_png(base_ / "cover.png", PNG_FORMAT_RGB);
    ASSERT_EQ(square_png.width, 640);
    ASSERT_EQ(cover_png.width, 640);
    EXPECT_GT(extremes(square_png).white, 640 * 480 / 2);
    EXPECT_EQ(extremes(cover_png).white + extremes(cover_png).black, 0);
}

// The working directory's map2.tga is used; the viewer refuses it and ends.
TEST_F(ScreenshotTest, ViewerEndingEarlyPassesOnItsConsoleAndStatus)
{
    fs::path model = base_ / "square.ase";
    write_file(model, square_model);
    write_file(base_ / "map2.tga", "not a picture at all, just some text");
    Shot shot = shoot({"square.ase", "shot.png"});
    EXPECT_EQ(shot.status, 1);
    // A sanitized viewer may add its report.
    EXPECT_EQ(shot.err.rfind("argc = 4\nLoading file " + model.string() +
                                 "\nLoad succesfult\nnot TGA or PCX image\n",
                             0),
              0u)
        << shot.err;
    EXPECT_EQ(shot.out, "");
    EXPECT_FALSE(fs::exists(png_));
    expect_no_scratch_left();
}

}  // namespace
