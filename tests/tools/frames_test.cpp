// The driver's frames are the program's own drawings, nothing else, and a
// frame drawn before the watch could see it is not lost.
#include <gtest/gtest.h>

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
