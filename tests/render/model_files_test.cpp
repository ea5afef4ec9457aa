// The model view's folder listing, and stepping through a folder and
// reloading in the test's own window: consoles, titles, framing and the GL
// objects of the models left behind.
#define GL_GLEXT_PROTOTYPES
#include <gtest/gtest.h>
// After GoogleTest, whose names Xlib's macros would take.
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mesh/model_files.h"
#include "input/input.h"
#include "render/render.h"
#include "tests/render/render_fixture.h"
#include "tests/render/square_models.h"
#include "tests/support/files.h"
#include "tests/support/glut_window.h"

namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

TEST(ModelFilesTest, FolderIsListedAndSteppedThroughByFoldedName)
{
    ScratchFolder scratch;
    for (const char* name : {"b.ase", "A.ASE", "c.Ase", "a.ase", "Z.ase", "notes.txt", "x.ase.bak", ".ase"})
        write_file(name, "");
    fs::create_directory("folder.ase");
    ASSERT_EQ(mkfifo("fifo.ase", 0600), 0);
    fs::create_symlink("b.ase", "link.ase");
    EXPECT_EQ(ase_files_in(scratch.path()), (Names{"A.ASE", "a.ase", "b.ase", "c.Ase", "link.ase", "Z.ase"}));
    const std::string dir = scratch.path().string() + "/";
    const struct {
        std::string path;
        int step;
        Names order;
    } steps[] = {
        {dir + "b.ase", +1, {dir + "c.Ase", dir + "link.ase", dir + "Z.ase", dir + "A.ASE", dir + "a.ase"}},
        {dir + "b.ase", -1, {dir + "a.ase", dir + "A.ASE", dir + "Z.ase", dir + "link.ase", dir + "c.Ase"}},
        {"Z.ase", +1, {"A.ASE", "a.ase", "b.ase", "c.Ase", "link.ase"}},
        {"gone.ase", +1, {"link.ase", "Z.ase", "A.ASE", "a.ase", "b.ase", "c.Ase"}},
        {"gone.ase", -1, {"c.Ase", "b.ase", "a.ase", "A.ASE", "Z.ase", "link.ase"}},
        {dir + "none/x.ase", +1, {}},
    };
    for (const auto& s : steps)
        EXPECT_EQ(models_from(s.path, s.step), s.order) << s.path << " " << s.step;
}

std::atomic<int> reports{0};

// The reports of a change: those expected are waited for (a loaded machine
// may be slow to give them), then long enough for any more to come.
int reports_after_quiet(int expected = 0)
{
    for (int waited = 0; reports < expected && waited < 10000; waited += 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(model_quiet_ms * 3 + 200));
    return reports.exchange(0);
}

// The model, a texture in another folder and a material file are watched
// alike: each write, rename over or removal is reported once, a file half
// written not before it is closed, and files beside them not at all.
TEST(ModelFilesTest, WatchReportsEachWatchedFileOnceWhole)
{
    ScratchFolder scratch;
    fs::create_directory("textures");
    fs::create_directory("materials");
    for (const char* name : {"m.ase", "textures/wall.tga", "materials/m.mtr", "other.ase",
                             "textures/other.tga"})
        write_file(name, "before");
    ASSERT_TRUE(watch_model_files({"m.ase", "textures/wall.tga", "materials/m.mtr", "gone.tga"},
                                  [] { reports++; }))
        << "a file that is not there is watched for";
    const struct {
        const char* what;
        std::function<void()> change;
        int reports;
    } changes[] = {
        {"model in place", [] { write_file("m.ase", "after"); }, 1},
        {"texture in place", [] { write_file("textures/wall.tga", "after"); }, 1},
        {"material renamed over",
         [] {
             write_file("materials/new", "after");
             fs::rename("materials/new", "materials/m.mtr");
         },
         1},
        {"texture and model at once",
         [] {
             write_file("textures/wall.tga", "again");
             write_file("m.ase", "again");
         },
         1},
        {"texture half written",
         [] {
             int fd = open("textures/wall.tga", O_WRONLY | O_TRUNC);
             ASSERT_EQ(write(fd, "half", 4), 4);
             EXPECT_EQ(reports_after_quiet(), 0) << "reported while open";
             close(fd);
         },
         1},
        {"texture removed", [] { fs::remove("textures/wall.tga"); }, 1},
        {"files beside them",
         [] {
             write_file("other.ase", "after");
             write_file("textures/other.tga", "after");
         },
         0},
    };
    for (const auto& c : changes) {
        reports = 0;
        c.change();
        EXPECT_EQ(reports_after_quiet(c.reports), c.reports) << c.what;
    }
    // A new list replaces the old: the texture's folder is no longer watched.
    ASSERT_TRUE(watch_model_files({"m.ase"}, [] { reports++; }));
    write_file("textures/wall.tga", "back");
    EXPECT_EQ(reports_after_quiet(), 0);
    write_file("m.ase", "back");
    EXPECT_EQ(reports_after_quiet(1), 1);
    stop_watching();
}

std::mutex report_lock;
std::condition_variable report_came;

void note_report()
{
    std::lock_guard<std::mutex> hold(report_lock);
    reports++;
    report_came.notify_all();
}

// Whether a report comes within a deadline; takes it.
bool report_comes()
{
    std::unique_lock<std::mutex> hold(report_lock);
    bool came = report_came.wait_for(hold, std::chrono::seconds(10), [] { return reports > 0; });
    reports = 0;
    return came;
}

const Names watched_places = {"m.ase", "tex.tga", "gone.tga", "sub/deep/x.tga"};

// Names not there yet, and a texture that is a symbolic link, each place
// it leads to; a change made just before the list is given again, as the
// view gives it after each read, and one made between a search and its
// watch.
TEST(ModelFilesTest, WatchFollowsNamesNotThereAndLinks)
{
    ScratchFolder scratch;
    fs::create_directory("art");
    for (const char* name : {"m.ase", "art/a.tga", "art/b.tga"})
        write_file(name, "before");
    fs::create_symlink("art/a.tga", "tex.tga");
    EXPECT_TRUE(watch_model_files(watched_places, note_report)) << "some name is not there";
    const struct {
        const char* what;
        std::function<void()> change;
    } changes[] = {
        {"link's target written", [] { write_file("art/a.tga", "after"); }},
        {"link turned to another file",
         [] {
             fs::create_symlink("art/b.tga", "tex.new");
             fs::rename("tex.new", "tex.tga");
         }},
        {"missing file made, letter case aside", [] { write_file("Gone.TGA", "new"); }},
        {"missing folder made", [] { fs::create_directory("sub"); }},
        {"written just before the list came again",
         [] {
             write_file("m.ase", "after");
             std::this_thread::sleep_for(std::chrono::milliseconds(model_quiet_ms / 2));
             watch_model_files(watched_places, note_report);
         }},
        {"made after the search looked, before the watch",
         [] {
             folder_listings searched;
             folder_entry(searched, fs::current_path(), "Late.tga");
             write_file("late.TGA", "new");
             EXPECT_TRUE(watch_model_files(watched_places, note_report, std::move(searched)));
         }},
    };
    for (const auto& c : changes) {
        c.change();
        EXPECT_TRUE(report_comes()) << c.what;
    }
    stop_watching();
}

// A texture cut short or kept open without a close does not hold the
// model's report back for long; one closed a while after the model was
// saved with it is still read with it, not before.
TEST(ModelFilesTest, UnclosedWriteHoldsNoReportBack)
{
    ScratchFolder scratch;
    write_file("m.ase", "before");
    write_file("t.tga", "before");
    ASSERT_TRUE(watch_model_files({"m.ase", "t.tga"}, note_report));
    std::atomic<bool> writing{false};
    std::thread writer;
    const struct {
        const char* what;
        std::function<void()> change;
        std::function<void()> then;  // a change after the report, reported too
    } changes[] = {
        {"cut short", [] { ASSERT_EQ(truncate("t.tga", 1), 0); }, [] { write_file("m.ase", "again"); }},
        {"kept open and written to",
         [&] {
             writing = true;
             writer = std::thread([&] {
                 int fd = open("t.tga", O_WRONLY);
                 while (writing && write(fd, "x", 1) == 1)
                     std::this_thread::sleep_for(std::chrono::milliseconds(model_quiet_ms / 4));
                 close(fd);
             });
         },
         [&] {
             writing = false;
             writer.join();
         }},
        {"closed late",
         [] {
             int fd = open("t.tga", O_WRONLY | O_TRUNC);
             ASSERT_EQ(write(fd, "half", 4), 4);
             write_file("m.ase", "with it");
             std::this_thread::sleep_for(std::chrono::milliseconds(3 * model_quiet_ms));
             EXPECT_EQ(reports, 0) << "read before the texture was whole";
             close(fd);
         },
         [] { write_file("m.ase", "again"); }},
    };
    for (const auto& c : changes) {
        c.change();
        write_file("m.ase", "after");
        write_file("m.ase", "after again");
        EXPECT_TRUE(report_comes()) << c.what;
        c.then();
        EXPECT_TRUE(report_comes()) << c.what << ", then";
    }
    stop_watching();
}

std::string window_name()
{
    char* name = nullptr;
    XFetchName(glXGetCurrentDisplay(), glXGetCurrentDrawable(), &name);
    std::string text = name ? name : "";
    XFree(name);
    return text;
}

// GL names in use among the first few hundred.
int live(GLboolean (*is)(GLuint))
{
    int count = 0;
    for (GLuint id = 1; id < 500; id++)
        count += is(id) == GL_TRUE;
    return count;
}

// Steps through a folder of models and back, past a file that is no model,
// then reloads: each model shows with its summary and title, the last
// one's textures and buffers are gone, a step frames anew and a reload keeps
// the framing.
TEST(ModelFilesTest, StepsShowEachModelAndLeaveNothingOfTheLast)
{
    open_test_window();
    ScratchFolder scratch;
    for (int i = 0; i < 3; i++)
        write_uniform_tga(std::to_string(i) + ".tga", {50, 200, 50});
    write_file("bad.ase", "*GEOMOBJECT { garbage");
    write_file("m1.ase", square_model(1, "0.5 0.5 0.5", ".tga"));
    write_file("m2.ase", square_model(3, "0.5 0.5 0.5", ".tga"));
    write_file("m3.ase", square_model(2));
    const int buffers_before = live(glIsBuffer);
    std::string why;
    ASSERT_TRUE(read_model_file("m1.ase", &why)) << why;
    std::string start = capture_stdout([] {
        prepare_model_view("m1.ase");
        init_model_scene();
        finish_model_scene();
    });
    // The game look's built-in images stay from model to model; m1 has one
    // texture of its own.
    const int textures_before = live(glIsTexture) - 1;
    EXPECT_EQ(start, "model: 1 objects, 2 faces, 1 textures (0 not found)\n");
    const double m1_eye = eye_distance;
    const struct {
        int step;
        const char* console;
        const char* title;
        int textures;
    } steps[] = {
        {+1, "Loading file m2.ase\nmodel: 3 objects, 6 faces, 3 textures (0 not found)\n", "m2.ase", 3},
        {+1, "Loading file m3.ase\nmodel: 2 objects, 4 faces, 0 textures (0 not found)\n", "m3.ase", 0},
        {+1, "skipped: bad.ase: no faces to draw\nLoading file m1.ase\n"
             "model: 1 objects, 2 faces, 1 textures (0 not found)\n", "m1.ase", 1},
        {-1, "skipped: bad.ase: no faces to draw\nLoading file m3.ase\n"
             "model: 2 objects, 4 faces, 0 textures (0 not found)\n", "m3.ase", 0},
        {-1, "Loading file m2.ase\nmodel: 3 objects, 6 faces, 3 textures (0 not found)\n", "m2.ase", 3},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(capture_stdout([&] { model_view_step(s.step); }), s.console);
        EXPECT_EQ(window_name(), s.title + std::string(" - aseview"));
        EXPECT_EQ(live(glIsTexture) - textures_before, s.textures) << s.title;
        // Lit by the game's look, a textured model's tangents have a buffer of their own.
        EXPECT_EQ(live(glIsBuffer) - buffers_before, s.textures ? 3 : 2) << s.title;
    }
    const double m2_eye = eye_distance;
    EXPECT_GT(m2_eye, m1_eye) << "three squares framed from further away than one";
    write_file("m2.ase", square_model(1));
    EXPECT_EQ(capture_stdout(model_view_reload),
              "Loading file m2.ase\nmodel: 1 objects, 2 faces, 0 textures (0 not found)\n");
    EXPECT_EQ(eye_distance, m2_eye) << "a reload keeps the view";
    EXPECT_EQ(live(glIsTexture), textures_before);
    fs::remove("m2.ase");
    EXPECT_EQ(capture_stdout(model_view_reload), "reload failed: m2.ase: No such file or directory\n");
    EXPECT_EQ(live(glIsBuffer) - buffers_before, 2) << "the last good model stays";
}

}  // namespace
