// The driver's frames are the program's own drawings, nothing else, and a
// frame drawn before the watch could see it is not lost.
#include <gtest/gtest.h>

#include "tests/render/square_models.h"
#include "tests/support/files.h"
#include "tools/driver/build_tree.h"
#include "tools/driver/viewer.h"

TEST(FrameWatch, AWindowThatIsNeverDrawnPresentsNoFrame)
{
    RealViewer program;
    ASSERT_TRUE(program.start({.args = {"unpainted"}, .program = UNPAINTED_WINDOW, .title = "unpainted"}));
    EXPECT_FALSE(program.wait_for_first_frame(2));
    EXPECT_TRUE(program.running());
}

// The watch looks at the server's reports only once the viewer has drawn its
// first frame and rests, as a watcher that a loaded machine holds back does:
// the viewer draws nothing more by itself, yet a frame is seen.
TEST(FrameWatch, AWatchThatComesLateStillSeesAFrame)
{
    ScratchFolder scratch;
    copy_run_files({"knot.ase", "map2.tga"});
    RealViewer viewer;
    ASSERT_TRUE(viewer.start({.program = ASEVIEW_BIN}));
    ASSERT_TRUE(wait_until(60, [&] { return viewer.console().find("face data") != std::string::npos; }));
    ASSERT_TRUE(wait_until(30, [&] { return viewer.core_share(0.2) < 0.05; })) << "the viewer does not rest";
    EXPECT_TRUE(viewer.wait_for_first_frame(30));
    EXPECT_TRUE(viewer.running());
}

// A settled picture shows every key sent before it, at once and each time,
// however slow the viewer is to draw: the grid's red axis comes and goes with
// each "g", in the model view and in the menu's grid entry alike.
TEST(FrameWatch, ASettledPictureShowsEveryKeySentBeforeIt)
{
    ScratchFolder scratch;
    write_file(scratch.path() / "square.ase", square_model(1));
    RealViewer viewer;
    ASSERT_TRUE(viewer.start({.args = {"square.ase"}, .program = ASEVIEW_BIN, .title = "square.ase - aseview",
                              .env = {"ASEVIEW_VIEW=model"}}));
    ASSERT_TRUE(viewer.wait_for_first_frame(30));
    auto red = [](const Pixels& s) {
        int n = 0;
        for (size_t i = 0; i + 2 < s.rgb.size(); i += 3)
            n += s.rgb[i] == 255 && s.rgb[i + 1] == 0 && s.rgb[i + 2] == 0;
        return n;
    };
    const Pixels first = viewer.screenshot();
    EXPECT_EQ(viewer.settled_screenshot().rgb, first.rgb) << "the first frame is the whole picture";
    ASSERT_EQ(red(first), 0);
    for (int i = 0; i < 8; i++) {
        bool by_menu = i % 4 == 3;  // the grid entry is the fourteenth of 25
        ASSERT_TRUE(by_menu ? viewer.choose(13, 25) : viewer.key("g"));
        int shown = red(viewer.settled_screenshot());
        if (i % 2 == 0)
            EXPECT_GE(shown, 20) << i;
        else
            EXPECT_EQ(shown, 0) << i;
    }
}

// A window that another one covers all its life still presents its frames,
// and its pictures are its own: those it shows when nothing covers it.
TEST(FrameWatch, ACoveredWindowKeepsItsFramesAndPixels)
{
    ScratchFolder scratch;
    write_file(scratch.path() / "square.ase", square_model(1));
    auto picture = [&] {
        RealViewer viewer;
        EXPECT_TRUE(viewer.start({.args = {"square.ase"}, .program = ASEVIEW_BIN, .title = "square.ase - aseview",
                                  .env = {"ASEVIEW_VIEW=model"}, .own_pixels = true}));
        EXPECT_TRUE(viewer.wait_for_first_frame(30));
        return viewer.settled_screenshot();
    };
    const Pixels alone = picture();
    ASSERT_FALSE(alone.rgb.empty());
    RealViewer cover;
    ASSERT_TRUE(cover.start({.args = {"cover"}, .program = COVERING_WINDOW, .title = "cover"}));
    ASSERT_TRUE(cover.wait_for_first_frame(30)) << "mapping paints its background";
    EXPECT_EQ(picture().rgb, alone.rgb);
}
