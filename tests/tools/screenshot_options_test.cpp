// make_screenshot's options for pictures made unattended: --view, --fit,
// --look, --time, --size, --offscreen and --max-model, on the real viewer. The
// viewer is started through a wrapper beside a copy of make_screenshot that
// notes the ASEVIEW_VIEW, ASEVIEW_LOOK and ASEVIEW_TIME it was given, then
// becomes the real viewer.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "tests/support/png_read.h"
#include "tests/tools/run_tool.h"
#include "tools/driver/build_tree.h"
#include "tools/driver/viewer.h"

namespace fs = std::filesystem;

namespace {

class ScreenshotOptions : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(base_ / "bin");
        fs::create_directory(tmp_);
        fs::copy_file(MAKE_SCREENSHOT_BIN, base_ / "bin/make_screenshot");
        fs::create_symlink(MAKE_TEXTURE_BIN, base_ / "bin/make_texture");
        write_file(base_ / "bin/aseview", "#!/bin/sh\necho \"${ASEVIEW_VIEW-unset}\" >>'" + view_log_.string() +
                                              "'\necho \"${ASEVIEW_LOOK-unset} ${ASEVIEW_TIME-unset}\" >'" +
                                              look_log_.string() + "'\nexec '" ASEVIEW_BIN "' \"$@\"\n");
        fs::permissions(base_ / "bin/aseview", fs::perms::owner_all);
        copy_run_files({"knot.ase"}, base_);
    }

    struct Shot {
        int status = -1;  // -1: it did not exit by itself in time
        std::string out, err;
        bool window_on_display = false;
    };

    // Runs the copy in the scratch folder, watching the test's display for
    // the viewer's window.
    Shot shoot(const std::vector<std::string>& args, std::vector<std::string> env = {})
    {
        env.push_back("TMPDIR=" + tmp_.string());
        RealViewer tool;
        tool.start(
            {.folder = base_, .args = args, .program = base_ / "bin/make_screenshot", .env = env});
        Shot shot;
        bool ended = wait_until(120, [&] {
            shot.window_on_display = shot.window_on_display || tool.frame_presented();
            return !tool.running();
        });
        int status = tool.stop(SIGKILL);
        shot.status = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        shot.out = tool.console();
        shot.err = tool.errors();
        return shot;
    }

    ScratchFolder scratch_;
    const fs::path base_ = scratch_.path(), tmp_ = base_ / "tmp", view_log_ = base_ / "view.txt",
                   look_log_ = base_ / "look.txt";
};

TEST_F(ScreenshotOptions, BadValuesGetTheUsage)
{
    const std::string usage = run_tool(base_.string() + "/bin/make_screenshot --help").out;
    ASSERT_NE(usage.find("--offscreen"), std::string::npos);
    const char* const cases[] = {
        "--size 0 knot.ase o.png",     "--size -5 knot.ase o.png",     "--size 4097 knot.ase o.png",
        "--size 12px knot.ase o.png",  "--size '' knot.ase o.png",      "--size 99999999999999999999 knot.ase o.png",
        "--size 64 --size 32 knot.ase o.png", "knot.ase o.png --size", "--max-model 0 knot.ase o.png",
        "--max-model 1.5 knot.ase o.png", "--max-model 1048577 knot.ase o.png", "--fitted knot.ase o.png",
        "knot.ase o.png --view", "--view fitted knot.ase o.png", "--view '' knot.ase o.png",
        "--look Game knot.ase o.png", "--look '' knot.ase o.png", "knot.ase o.png --look",
        "--time -1 knot.ase o.png", "--time inf knot.ase o.png", "--time nan knot.ase o.png",
        "--time 2s knot.ase o.png", "--time '' knot.ase o.png", "--time 1e999 knot.ase o.png",
    };
    for (const char* args : cases) {
        SCOPED_TRACE(args);
        tool_result r = run_tool(base_.string() + "/bin/make_screenshot " + args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, usage);
        EXPECT_FALSE(fs::exists("o.png"));
    }
}

// With a display in DISPLAY, --offscreen still shows nothing on it; --size
// and --fit shape the picture and the view; a model over --max-model is
// declined before anything starts.
TEST_F(ScreenshotOptions, OffscreenSizedFittedAndLimited)
{
    Shot shot = shoot({"--offscreen", "--fit", "--size", "200", "knot.ase", "small.png"});
    EXPECT_EQ(shot.status, 0) << shot.err;
    EXPECT_EQ(shot.out, (base_ / "small.png").string() + "\n");
    EXPECT_FALSE(shot.window_on_display);
    Png small = read_png(base_ / "small.png", PNG_FORMAT_RGB);
    EXPECT_EQ(small.width, 200);
    EXPECT_EQ(small.height, 150);
    EXPECT_EQ(read_file(view_log_), "fit\n");

    shot = shoot({"--offscreen", "knot.ase", "whole.png"});
    EXPECT_EQ(shot.status, 0) << shot.err;
    EXPECT_FALSE(shot.window_on_display);
    EXPECT_EQ(read_png(base_ / "whole.png", PNG_FORMAT_RGB).width, 640);
    EXPECT_EQ(read_file(view_log_), "fit\nunset\n") << "the default view without --fit";
    EXPECT_TRUE(fs::is_empty(tmp_)) << "no scratch folder left";

    // The knot is about 2.4 MiB.
    shot = shoot({"--max-model", "3", "--fit", "knot.ase", "limited.png"});
    EXPECT_EQ(shot.status, 0) << shot.err;
    EXPECT_TRUE(shot.window_on_display) << "DISPLAY is used without --offscreen";
    fs::resize_file(base_ / "knot.ase", (3 << 20) + 1);
    shot = shoot({"--max-model", "3", "knot.ase", "large.png"});
    EXPECT_EQ(shot.status, 2);
    EXPECT_EQ(shot.err, "make_screenshot: knot.ase is larger than 3 MiB\n");
    EXPECT_FALSE(fs::exists(base_ / "large.png"));
    EXPECT_EQ(read_file(view_log_), "fit\nunset\nfit\n") << "no viewer started";
}

// The ASEVIEW_VIEW, ASEVIEW_LOOK and ASEVIEW_TIME that the viewer gets: the
// last of --view and --fit counts, the model view's clock is stopped at 0
// unless --time says otherwise, and a setting of the caller's never reaches
// the viewer.
TEST_F(ScreenshotOptions, ViewOptionsSetTheViewersEnvironment)
{
    const struct {
        std::vector<std::string> args;
        std::string view, look_and_time = "unset unset";
    } cases[] = {
        {{"--view", "default"}, "unset"},
        {{"--view", "fit"}, "fit"},
        {{"--view", "model"}, "model", "unset 0"},
        {{"--view", "model", "--fit"}, "fit"},
        {{"--fit", "--view", "model"}, "model", "unset 0"},
        {{"--view", "model", "--view", "default"}, "unset"},
        {{"--view", "model", "--look", "editor", "--time", "2.5"}, "model", "editor 2.5"},
        {{"--look", "editor", "--look", "game", "--time", "1", "--time", "0.25"}, "unset", "game 0.25"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--offscreen", "knot.ase", "o.png"});
        SCOPED_TRACE(testing::PrintToString(args));
        fs::remove(view_log_);
        Shot shot = shoot(args, {"ASEVIEW_VIEW=caller", "ASEVIEW_LOOK=caller", "ASEVIEW_TIME=7"});
        EXPECT_EQ(shot.status, 0) << shot.err;
        EXPECT_EQ(read_file(view_log_), c.view + "\n");
        EXPECT_EQ(read_file(look_log_), c.look_and_time + "\n");
    }
}

}  // namespace
