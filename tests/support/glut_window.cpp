#include "tests/support/glut_window.h"

#include <GL/freeglut.h>

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
