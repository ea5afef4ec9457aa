// Free spin: the idle handler's rotations pile up on the modelview matrix
// until a reshape reloads it.
#include <cmath>
#include <cstdlib>

#include <GL/freeglut.h>

#include "input/input.h"
#include "render/render.h"
#include "tests/input/input_window.h"
#include "tests/support/gl_state.h"
#include "tests/support/glut_window.h"

namespace {

Matrix modelview()
{
    return gl_matrix(GL_MODELVIEW_MATRIX);
}

// Sets the spin the way a drag does: a middle press at the origin, then a motion.
void drag_spin(int yaw, int pitch)
{
    mouse_handler(GLUT_MIDDLE_BUTTON, GLUT_DOWN, 0, 0);
    motion_handler(yaw * 100, pitch * 100);
    drain_redraws();
}

TEST_F(InputTest, FreeSpinPilesUpOnTheViewingTransform)
{
    struct {
        int yaw, pitch, calls;
    } rows[] = {{2, -1, 5}, {-3, 0, 10}, {0, 4, 3}, {7, 5, 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "spin " << row.yaw << ", " << row.pitch);
        restore_start_state();
        keyboard_handler('f', 0, 0);
        drag_spin(row.yaw, row.pitch);
        Matrix expected = eye_at_five;
        for (int i = 0; i < row.calls; i++) {
            idle_handler();
            EXPECT_EQ(frames_after_pump(), i + 1);
            expected = multiply(expected, multiply(about_y(row.yaw), about_x(row.pitch)));
        }
        expect_matrix_near(modelview(), expected, 1e-5);
    }
}

TEST_F(InputTest, IdleWithoutFreeRotationDoesNothing)
{
    drag_spin(3, 2);
    for (int i = 0; i < 5; i++)
        idle_handler();
    EXPECT_EQ(frames_after_pump(), 0);
    expect_matrix_near(modelview(), eye_at_five, 0);
}

TEST_F(InputTest, ZeroSpinStillRedrawsWhileFree)
{
    start_with("f");
    idle_handler();
    EXPECT_EQ(frames_after_pump(), 1);
    expect_matrix_near(modelview(), eye_at_five, 0);
}

TEST_F(InputTest, SpunPoseOutlivesFreeRotationButNotAReshape)
{
    keyboard_handler('f', 0, 0);
    keyboard_handler('b', 0, 0);
    drag_spin(4, 0);
    idle_handler();
    idle_handler();
    keyboard_handler('f', 0, 0);
    drain_redraws();
    const Matrix spun = multiply(eye_at_five, about_y(8));
    idle_handler();
    EXPECT_EQ(frames_after_pump(), 0);
    expect_matrix_near(modelview(), spun, 1e-5);

    const ViewSnapshot view = view_snapshot();
    reshape_handler(800, 600);
    expect_matrix_near(modelview(), eye_at_five, 1e-6);
    EXPECT_EQ(gl_integer(GL_MATRIX_MODE), GL_MODELVIEW)
        << "the idle rotations must land on the modelview matrix";
    EXPECT_EQ(view_snapshot(), view) << "angles, scales and the 640 x 480 frame survive";
}

TEST_F(InputTest, FirstClickWithFreeRotationStartsTheSpin)
{
    start_with("f");
    send_button(Button1, true, 320, 240, 0);
    idle_handler();
    expect_matrix_near(modelview(), multiply(eye_at_five, multiply(about_y(3), about_x(2))), 1e-5);
}

using InputLoopDeathTest = InputTest;

void stop_when_spun()
{
    if (std::fabs(modelview()[0] - 1.0) > 1e-3) {
        leak_check_while_loaded();
        std::exit(0);
    }
}

// Only glutMainLoop calls the idle function: the loop must turn the model on its
// own, within a bounded wait.
TEST_F(InputLoopDeathTest, MainLoopCallsTheIdleHandler)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            keyboard_handler('f', 0, 0);
            drag_spin(5, 0);
            glutDisplayFunc(stop_when_spun);
            glutTimerFunc(10000, [](int) { std::exit(2); }, 0);  // gives up
            glutMainLoop();
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
