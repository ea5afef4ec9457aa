#include "tests/support/glut_window.h"

#include <GL/freeglut.h>
#include <gtest/gtest.h>

void open_test_window()
{
    static bool opened = false;
    if (opened)
        return;
    int argc = 1;
    char name[] = "aseview_test";
    char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(640, 480);
    glutCreateWindow("aseview test");
    opened = true;
}

void pump_glut_events(int max_rounds)
{
    for (int i = 0; i < max_rounds; i++)
        glutMainLoopEvent();
}

extern "C" __attribute__((weak)) void __lsan_do_leak_check();

void leak_check_while_loaded()
{
    if (__lsan_do_leak_check)
        __lsan_do_leak_check();
}

namespace {
class LeakCheckAtTheEnd : public ::testing::Environment {
    void TearDown() override { leak_check_while_loaded(); }
};
const auto* leak_check = ::testing::AddGlobalTestEnvironment(new LeakCheckAtTheEnd);
}  // namespace
