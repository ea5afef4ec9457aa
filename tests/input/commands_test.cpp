// The seven one-letter commands, the codes that are no command, the menu
// values and the GL state the commands switch.
#include <GL/freeglut.h>
#include <X11/keysym.h>

#include "input/input.h"
#include "tests/input/input_window.h"

namespace {

struct GlSnapshot {
    GLint shade_model;
    GLint polygon_mode[2];  // front, back
    GLboolean line_smooth, polygon_smooth, blend, texture_2d;
    GLint line_smooth_hint;
    GLfloat line_width;
    GLint blend_src, blend_dst;
    bool operator==(const GlSnapshot&) const = default;
};

GlSnapshot gl_snapshot()
{
    GlSnapshot s = {};
    glGetIntegerv(GL_SHADE_MODEL, &s.shade_model);
    glGetIntegerv(GL_POLYGON_MODE, s.polygon_mode);
    s.line_smooth = glIsEnabled(GL_LINE_SMOOTH);
    s.polygon_smooth = glIsEnabled(GL_POLYGON_SMOOTH);
    s.blend = glIsEnabled(GL_BLEND);
    s.texture_2d = glIsEnabled(GL_TEXTURE_2D);
    glGetIntegerv(GL_LINE_SMOOTH_HINT, &s.line_smooth_hint);
    glGetFloatv(GL_LINE_WIDTH, &s.line_width);
    glGetIntegerv(GL_BLEND_SRC, &s.blend_src);
    glGetIntegerv(GL_BLEND_DST, &s.blend_dst);
    return s;
}

// Presses a key and reports whether it asked for a redraw.
bool press(unsigned char key)
{
    drain_redraws();
    keyboard_handler(key, 17, 23);
    return frames_after_pump() == 1;
}

TEST_F(InputTest, SmearKeysMoveTheFlagsByTheTable)
{
    struct {
        int x_on, y_on;
        int after_x[2], after_y[2], after_b[2];
    } rows[] = {
        {0, 0, {1, 0}, {0, 1}, {1, 1}},
        {1, 0, {0, 0}, {0, 1}, {1, 1}},
        {0, 1, {1, 0}, {0, 0}, {1, 1}},
        {1, 1, {0, 0}, {0, 0}, {1, 1}},
    };
    for (const auto& row : rows) {
        const struct {
            char key;
            const int* after;
        } columns[] = {{'x', row.after_x}, {'y', row.after_y}, {'b', row.after_b}};
        for (const auto& column : columns) {
            SCOPED_TRACE(testing::Message() << "(" << row.x_on << ", " << row.y_on << ") then "
                                            << column.key);
            smear_x_on = row.x_on;
            smear_y_on = row.y_on;
            EXPECT_TRUE(press(column.key));
            EXPECT_EQ(smear_x_on, column.after[0]);
            EXPECT_EQ(smear_y_on, column.after[1]);
        }
    }
}

TEST_F(InputTest, ModeKeysToggleTheirFlagAlone)
{
    struct {
        char key;
        int* flag;
    } rows[] = {{'f', &free_rotate}, {'r', &rotation_mode}, {'s', &smooth_shading},
                {'w', &wire_mode}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.key);
        reset_view_state();
        for (int expected : {1, 0, 1, 0}) {
            ViewSnapshot before = view_snapshot();
            EXPECT_TRUE(press(row.key));
            EXPECT_EQ(*row.flag, expected);
            *row.flag = 1 - expected;
            EXPECT_EQ(view_snapshot(), before) << "another variable changed";
            *row.flag = expected;
        }
    }
}

TEST_F(InputTest, OtherCodesChangeNothingAndDoNotRedraw)
{
    // Put some state in place so that a stray command would show.
    keyboard_handler('x', 0, 0);
    keyboard_handler('w', 0, 0);
    motion_handler(500, 100);
    const unsigned char codes[] = {'B', 'F', 'R', 'S', 'W', 'X', 'Y', 'a', 'z', '0', ' ',
                                   '\r', 27, 0, 127, 200, 255};
    for (unsigned char code : codes) {
        SCOPED_TRACE(testing::Message() << "code " << int(code));
        ViewSnapshot view = view_snapshot();
        GlSnapshot gl = gl_snapshot();
        EXPECT_FALSE(press(code));
        EXPECT_EQ(view_snapshot(), view);
        EXPECT_EQ(gl_snapshot(), gl);
    }
}

TEST_F(InputTest, ShadingKeyAlternatesStartingWithSmooth)
{
    for (GLint model : {GL_SMOOTH, GL_FLAT, GL_SMOOTH, GL_FLAT}) {
        EXPECT_TRUE(press('s'));
        EXPECT_EQ(gl_snapshot().shade_model, model);
        EXPECT_EQ(smooth_shading, model == GL_SMOOTH ? 1 : 0);
    }
}

TEST_F(InputTest, WireKeySwitchesAntialiasedLinesAndBack)
{
    const GlSnapshot filled = gl_snapshot();
    EXPECT_TRUE(press('w'));
    GlSnapshot wire = filled;
    wire.polygon_mode[0] = wire.polygon_mode[1] = GL_LINE;
    wire.line_smooth = GL_TRUE;
    wire.line_smooth_hint = GL_NICEST;
    wire.line_width = 0.75f;
    wire.blend = GL_TRUE;
    wire.blend_src = GL_SRC_ALPHA;
    wire.blend_dst = GL_ONE_MINUS_SRC_ALPHA;
    EXPECT_EQ(gl_snapshot(), wire) << "texturing and polygon smoothing stay as they were";

    EXPECT_TRUE(press('w'));
    GlSnapshot back = wire;
    back.polygon_mode[0] = back.polygon_mode[1] = GL_FILL;
    back.line_smooth = GL_FALSE;
    back.blend = GL_FALSE;
    back.texture_2d = GL_TRUE;
    back.polygon_smooth = GL_TRUE;
    EXPECT_EQ(gl_snapshot(), back) << "hint, width and blend function are left in place";

    EXPECT_TRUE(press('w'));
    GlSnapshot wire_again = wire;
    wire_again.texture_2d = GL_TRUE;
    wire_again.polygon_smooth = GL_TRUE;
    EXPECT_EQ(gl_snapshot(), wire_again) << "polygon smoothing stays on for good";
}

// Runs one command, by key or by menu, from a state with the Y smear axis and
// free rotation on, and returns what it left behind.
std::pair<ViewSnapshot, GlSnapshot> run_command(bool by_menu, int code, int* redraws)
{
    start_with("yf");
    if (by_menu)
        menu_handler(code);
    else
        keyboard_handler((unsigned char)code, 0, 0);
    *redraws = frames_after_pump();
    return {view_snapshot(), gl_snapshot()};
}

TEST_F(InputTest, MenuValuesActAsTheirKeys)
{
    for (char key : {'y', 'x', 'b', 'w', 's', 'f', 'r'}) {
        SCOPED_TRACE(key);
        int key_redraws = 0, menu_redraws = 0;
        auto by_key = run_command(false, key, &key_redraws);
        // Undo the GL side so that the menu starts from the same GL state.
        restore_start_state();
        auto by_menu = run_command(true, key, &menu_redraws);
        EXPECT_EQ(by_menu.first, by_key.first);
        EXPECT_EQ(by_menu.second, by_key.second);
        EXPECT_EQ(key_redraws, 1);
        EXPECT_EQ(menu_redraws, 1);
        restore_start_state();
    }
}

TEST_F(InputTest, CreditEntryDoesNothing)
{
    int redraws = 1;
    auto after = run_command(true, 32, &redraws);
    EXPECT_EQ(redraws, 0);
    restore_start_state();
    auto before = run_command(false, 0, &redraws);
    EXPECT_EQ(after.first, before.first);
    EXPECT_EQ(after.second, before.second);
}

TEST_F(InputTest, PopupMenuHasEightEntries)
{
    create_popup_menu();
    EXPECT_NE(glutGetMenu(), 0);
    EXPECT_EQ(glutGet(GLUT_MENU_NUM_ITEMS), 8);
}

TEST_F(InputTest, RegisteredHandlersReceiveGlutEvents)
{
    send_key(XK_x);
    EXPECT_EQ(smear_x_on, 1);
    EXPECT_EQ(frames_after_pump(), 1);
    drain_redraws();
    send_button(Button1, true, 480, 240, 0);
    EXPECT_FLOAT_EQ(scale_x, 1.25f);
    EXPECT_EQ(frames_after_pump(), 1);
    drain_redraws();
    send_motion(560, 240, Button1Mask);
    EXPECT_FLOAT_EQ(scale_x, 1.875f);
    EXPECT_EQ(frames_after_pump(), 1);
}

}  // namespace
