// The look and the materials' clock as ASEVIEW_LOOK and ASEVIEW_TIME set
// them and the keys change them, and the information panel's lines on them.
#include <GL/glut.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "render/model_look.h"
#include "render/model_overlay.h"
#include "tests/support/files.h"
#include "tests/support/glut_window.h"

namespace {

TEST(ModelLookDeathTest, EnvironmentValues)
{
    struct {
        const char* value;
        bool game;
    } looks[] = {{nullptr, true}, {"", true}, {"game", true}, {"editor", false}};
    for (const auto& t : looks)
        EXPECT_EQ(model_look_requested(t.value), t.game) << (t.value ? t.value : "unset");
    for (const char* bad : {"Editor", "game ", "x"})
        EXPECT_EQ(fatal_stdout([&] { model_look_requested(bad); }),
                  "ASEVIEW_LOOK: unknown look \"" + std::string(bad) + "\" (game or editor)\n");
    struct {
        const char* value;
        double seconds;
    } times[] = {{nullptr, -1}, {"", -1}, {"0", 0}, {"1.25", 1.25}, {"2e3", 2000}};
    for (const auto& t : times)
        EXPECT_EQ(model_time_requested(t.value), t.seconds) << (t.value ? t.value : "unset");
    for (const char* bad : {"-1", "-0.5", "inf", "nan", "1s", " ", "1e999"})
        EXPECT_EQ(fatal_stdout([&] { model_time_requested(bad); }),
                  "ASEVIEW_TIME: not a time in seconds \"" + std::string(bad) + "\" (a number, 0 or more)\n")
            << bad;
}

TEST(ModelLook, ClockStartsPausedAtTheTimeAskedAndKeysTurnIt)
{
    open_test_window();
    glutDisplayFunc([] {});
    setenv("ASEVIEW_LOOK", "editor", 1);
    setenv("ASEVIEW_TIME", "1.25", 1);
    model_look_init();
    unsetenv("ASEVIEW_LOOK");
    unsetenv("ASEVIEW_TIME");
    model_rules_line = "rules: test";
    model_stage_lines.clear();
    for (int m = 0; m < 15; m++)
        model_stage_lines.push_back("m" + std::to_string(m));
    std::vector<std::string> lines = model_look_info_lines();
    ASSERT_EQ(lines.size(), 4 + max_stage_lines);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4),
              (std::vector<std::string>{"look: editor", "clock: paused at 1.25 s", "rules: test", "m0"}));
    EXPECT_EQ(lines.back(), "... 3 more");

    EXPECT_EQ(model_clock_seconds(), 1.25);
    model_clock_toggle();
    EXPECT_FALSE(model_clock_paused());
    while (model_clock_seconds() == 1.25)
        continue;
    model_clock_toggle();
    double paused_at = model_clock_seconds();
    EXPECT_GT(paused_at, 1.25);
    EXPECT_EQ(model_clock_seconds(), paused_at);
    model_look_toggle();
    EXPECT_TRUE(model_game_look);
    model_stage_lines.resize(max_stage_lines);
    lines = model_look_info_lines();
    EXPECT_EQ(lines.front(), "look: game");
    EXPECT_EQ(lines.back(), "m11");

    model_look_init();
    model_rules_line.clear();
    EXPECT_EQ(model_clock_seconds(), 0.0);
    EXPECT_FALSE(model_clock_paused());
    EXPECT_EQ(model_look_info_lines().size(), 1 + max_stage_lines);
    pump_glut_events();
}

}  // namespace
