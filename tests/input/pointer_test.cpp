// Pointer mapping, spin and the press/release rules, with GLUT delivering the
// button and motion events to the registered handlers.
#include <climits>

#include <GL/freeglut.h>

#include "input/input.h"
#include "tests/input/input_window.h"

namespace {

struct PointerRow {
    int x, y;
    float smear_x, smear_y;
    float yaw, pitch;
};

// Window edges, centre, a quarter in, and beyond the window on every side.
const PointerRow pointer_rows[] = {
    {320, 240, 0.0f, 0.0f, 0.0f, 0.0f},
    {0, 0, -2.5f, -2.5f, -180.0f, -180.0f},
    {639, 479, 2.4921875f, 2.4895833f, 179.4375f, 179.25f},
    {160, 360, -1.25f, 1.25f, -90.0f, 90.0f},
    {321, 239, 0.0078125f, -0.010416667f, 0.5625f, -0.75f},
    {-320, 720, -5.0f, 5.0f, -360.0f, 360.0f},
    {960, -240, 5.0f, -5.0f, 360.0f, -360.0f},
};

TEST_F(InputTest, SmearModeStretchesByThePointerPosition)
{
    for (const PointerRow& row : pointer_rows) {
        SCOPED_TRACE(testing::Message() << "pointer at " << row.x << ", " << row.y);
        start_with("b");
        motion_handler(row.x, row.y);
        EXPECT_FLOAT_EQ(smear_x, row.smear_x);
        EXPECT_FLOAT_EQ(smear_y, row.smear_y);
        EXPECT_FLOAT_EQ(scale_x, row.smear_x);
        EXPECT_FLOAT_EQ(scale_y, row.smear_y);
        EXPECT_EQ(view_yaw, 0.0f);
        EXPECT_EQ(view_pitch, 0.0f);
        EXPECT_EQ(frames_after_pump(), 1);
    }
}

TEST_F(InputTest, RotationModeTurnsToTheAbsoluteAngleAndLeavesScales)
{
    for (const PointerRow& row : pointer_rows) {
        SCOPED_TRACE(testing::Message() << "pointer at " << row.x << ", " << row.y);
        start_with("br");
        motion_handler(row.x, row.y);
        EXPECT_FLOAT_EQ(view_yaw, row.yaw);
        EXPECT_FLOAT_EQ(view_pitch, row.pitch);
        // The smear values are refreshed in both modes, the scales only in smear mode.
        EXPECT_FLOAT_EQ(smear_x, row.smear_x);
        EXPECT_FLOAT_EQ(smear_y, row.smear_y);
        EXPECT_EQ(scale_x, 1.0f);
        EXPECT_EQ(scale_y, 1.0f);
        EXPECT_EQ(frames_after_pump(), 1);
    }
}

TEST_F(InputTest, SmearFlagsChooseTheAxesThatFollow)
{
    struct {
        const char* keys;
        float scale_x, scale_y;
    } rows[] = {{"", 1.0f, 1.0f}, {"x", 1.25f, 1.0f}, {"y", 1.0f, -1.25f}, {"b", 1.25f, -1.25f}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "keys '" << row.keys << "'");
        start_with(row.keys);
        motion_handler(480, 120);
        EXPECT_FLOAT_EQ(smear_x, 1.25f);
        EXPECT_FLOAT_EQ(smear_y, -1.25f);
        EXPECT_FLOAT_EQ(scale_x, row.scale_x);
        EXPECT_FLOAT_EQ(scale_y, row.scale_y);
        EXPECT_EQ(frames_after_pump(), 1) << "every motion event redraws";
    }
}

TEST_F(InputTest, SpinIsWholeDegreesTruncatedTowardZero)
{
    struct {
        int dx, dy;
        float yaw, pitch;
    } rows[] = {
        {150, -60, 1.0f, 0.0f}, {-150, 0, -1.0f, 0.0f}, {99, -99, 0.0f, 0.0f},
        {100, -100, 1.0f, -1.0f}, {199, 199, 1.0f, 1.0f}, {-199, 200, -1.0f, 2.0f},
        {0, 0, 0.0f, 0.0f},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "moved " << row.dx << ", " << row.dy);
        reset_view_state();
        // A middle press only moves the reference point.
        send_button(Button2, true, 300, 200, 0);
        send_motion(300 + row.dx, 200 + row.dy, Button2Mask);
        EXPECT_FLOAT_EQ(spin_yaw, row.yaw);
        EXPECT_FLOAT_EQ(spin_pitch, row.pitch);
    }
}

TEST_F(InputTest, FirstPressCountsItsSpinFromTheOrigin)
{
    start_with("b");
    send_button(Button1, true, 320, 240, 0);
    EXPECT_FLOAT_EQ(spin_yaw, 3.0f);
    EXPECT_FLOAT_EQ(spin_pitch, 2.0f);
    EXPECT_FLOAT_EQ(scale_x, 0.0f) << "a press at the centre flattens the model";
    EXPECT_FLOAT_EQ(scale_y, 0.0f);
    EXPECT_EQ(last_mouse_x, 320);
    EXPECT_EQ(last_mouse_y, 240);
    EXPECT_EQ(frames_after_pump(), 1);
}

TEST_F(InputTest, OnlyALeftPressInSmearModeAppliesAnything)
{
    struct {
        const char* name;
        unsigned int button;
        bool press;
        unsigned int modifiers;
        bool rotation;
        bool applies;
    } rows[] = {
        {"left press", Button1, true, 0, false, true},
        {"shift+left press", Button1, true, ShiftMask, false, false},
        {"middle press", Button2, true, 0, false, false},
        {"left release", Button1, false, Button1Mask, false, false},
        {"shift+left release", Button1, false, Button1Mask | ShiftMask, false, false},
        {"middle release", Button2, false, Button2Mask, false, false},
        {"left press, rotation mode", Button1, true, 0, true, false},
        {"left release, rotation mode", Button1, false, Button1Mask, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        start_with(row.rotation ? "br" : "b");
        send_button(row.button, row.press, 400, 300, row.modifiers);
        EXPECT_EQ(last_mouse_x, 400);
        EXPECT_EQ(last_mouse_y, 300);
        EXPECT_EQ(frames_after_pump(), row.applies ? 1 : 0);
        EXPECT_FLOAT_EQ(scale_x, row.applies ? 0.625f : 1.0f);
        EXPECT_FLOAT_EQ(scale_y, row.applies ? 0.625f : 1.0f);
        EXPECT_FLOAT_EQ(spin_yaw, row.applies ? 4.0f : 0.0f);
        EXPECT_FLOAT_EQ(spin_pitch, row.applies ? 3.0f : 0.0f);
        EXPECT_EQ(view_yaw, 0.0f);
        EXPECT_EQ(view_pitch, 0.0f);
    }
}

TEST_F(InputTest, OtherButtonNumbersCountAsMiddle)
{
    start_with("b");
    ViewSnapshot before = view_snapshot();
    mouse_handler(5, GLUT_DOWN, 400, 300);
    EXPECT_EQ(frames_after_pump(), 0);
    before.last_mouse_x = 400;
    before.last_mouse_y = 300;
    EXPECT_EQ(view_snapshot(), before);
}

TEST_F(InputTest, MiddleAndShiftLeftDragsStretchFromTheirFirstMotion)
{
    struct {
        const char* name;
        unsigned int button, modifiers, drag_mask;
    } rows[] = {
        {"middle", Button2, 0, Button2Mask},
        {"shift+left", Button1, ShiftMask, Button1Mask | ShiftMask},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        start_with("b");
        send_button(row.button, true, 400, 300, row.modifiers);
        EXPECT_EQ(frames_after_pump(), 0);
        send_motion(480, 360, row.drag_mask);
        EXPECT_EQ(frames_after_pump(), 1);
        EXPECT_FLOAT_EQ(scale_x, 1.25f);
        EXPECT_FLOAT_EQ(scale_y, 1.25f);
        // Measured from the press, not from the origin.
        EXPECT_FLOAT_EQ(spin_yaw, 0.0f);
        EXPECT_FLOAT_EQ(spin_pitch, 0.0f);
    }
}

TEST_F(InputTest, RotationDragTurnsAndSetsTheSpin)
{
    start_with("r");
    send_button(Button1, true, 100, 100, 0);
    EXPECT_EQ(frames_after_pump(), 0);
    EXPECT_EQ(view_yaw, 0.0f) << "a press in rotation mode changes nothing";
    send_motion(480, 360, Button1Mask);
    EXPECT_EQ(frames_after_pump(), 1);
    EXPECT_FLOAT_EQ(view_yaw, 90.0f);
    EXPECT_FLOAT_EQ(view_pitch, 90.0f);
    EXPECT_FLOAT_EQ(spin_yaw, 3.0f);
    EXPECT_FLOAT_EQ(spin_pitch, 2.0f);
    // Leaving rotation mode keeps the angles.
    keyboard_handler('r', 0, 0);
    send_motion(100, 100, Button1Mask);
    EXPECT_FLOAT_EQ(view_yaw, 90.0f);
    EXPECT_FLOAT_EQ(view_pitch, 90.0f);
}

TEST_F(InputTest, ReleaseMovesTheReferenceAndKeepsTheSpin)
{
    send_button(Button1, true, 10, 10, 0);
    send_motion(260, 10, Button1Mask);
    EXPECT_FLOAT_EQ(spin_yaw, 2.0f);
    send_button(Button1, false, 260, 10, Button1Mask);
    EXPECT_FLOAT_EQ(spin_yaw, 2.0f);
    EXPECT_EQ(last_mouse_x, 260);
    send_motion(400, 10, Button1Mask);
    EXPECT_FLOAT_EQ(spin_yaw, 1.0f);
}

TEST_F(InputTest, FarOffCoordinatesStayDefined)
{
    // A middle press far off to one side, then a motion far off to the other.
    mouse_handler(GLUT_MIDDLE_BUTTON, GLUT_DOWN, INT_MIN, INT_MAX);
    motion_handler(INT_MAX, INT_MIN);
    EXPECT_FLOAT_EQ(spin_yaw, 42949672.0f);
    EXPECT_FLOAT_EQ(spin_pitch, -42949672.0f);
    EXPECT_NEAR(smear_x, 16777213.49, 1.0);
    EXPECT_NEAR(smear_y, -22369623.83, 2.0);
}

}  // namespace
