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
    EXPECT_TRUE(model_look_requested(nullptr) && model_look_requested("") && model_look_requested("game"));
    EXPECT_FALSE(model_look_requested("editor"));
    EXPECT_EQ(fatal_stdout([] { model_look_requested("Editor"); }),
              "ASEVIEW_LOOK: unknown look \"Editor\" (game or editor)\n");
    for (auto [value, seconds] : {std::pair{"", -1.0}, {"0", 0.0}, {"1.25", 1.25}, {"2e3", 2000.0}})
        EXPECT_EQ(model_time_requested(value), seconds) << value;
    for (const char* bad : {"-0.5", "inf", "nan", "1s", " ", "1e999"})
        EXPECT_EQ(fatal_stdout([&] { model_time_requested(bad); }),
                  "ASEVIEW_TIME: not a time in seconds \"" + std::string(bad) + "\" (a number, 0 or more)\n");
}

TEST(ModelLook, ClockStartsPausedAtTheTimeAskedAndKeysTurnIt)
{
    open_test_window();
    glutDisplayFunc([] {});
    setenv("ASEVIEW_LOOK", "editor", 1);
    setenv("ASEVIEW_TIME", "1.25", 1);
    model_look_init();
    model_rules_line = "rules: test";
    model_stage_lines = std::vector<std::string>(max_stage_lines + 3, "stage");
    std::vector<std::string> lines = model_look_info_lines();
    ASSERT_EQ(lines.size(), 4 + max_stage_lines);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3),
              (std::vector<std::string>{"look: editor", "clock: paused at 1.25 s", "rules: test"}));
    EXPECT_EQ(lines.back(), "... 3 more");

    model_clock_toggle();
    while (model_clock_seconds() == 1.25)
        continue;
    model_clock_toggle();
    double paused_at = model_clock_seconds();
    EXPECT_GT(paused_at, 1.25);
    EXPECT_EQ(model_clock_seconds(), paused_at);
    model_look_toggle();
    EXPECT_EQ(model_look_info_lines().front(), "look: game");

    unsetenv("ASEVIEW_LOOK");
    unsetenv("ASEVIEW_TIME");
    model_look_init();
    EXPECT_EQ(model_clock_seconds(), 0.0);
    EXPECT_FALSE(model_clock_paused());
    pump_glut_events();
}

}  // namespace
