// The driver's frames are the program's own drawings, nothing else.
#include <gtest/gtest.h>

#include "tools/driver/viewer.h"

TEST(FrameWatch, AWindowThatIsNeverDrawnPresentsNoFrame)
{
    RealViewer program;
    ASSERT_TRUE(program.start({.args = {"unpainted"}, .program = UNPAINTED_WINDOW, .title = "unpainted"}));
    EXPECT_FALSE(program.wait_for_first_frame(2));
    EXPECT_TRUE(program.running());
}
