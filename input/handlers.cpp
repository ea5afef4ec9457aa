#include <GL/glut.h>

#include "input/input.h"

// A flag holds 0 or 1; anything but 0 toggles to 0.
static int toggled(int flag)
{
    return flag == 0 ? 1 : 0;
}

void motion_handler(int x, int y)
{
    // Differences in 64 bits: far-off pointer coordinates must not overflow.
    long long dx = (long long)x - window_width / 2;
    long long dy = (long long)y - window_height / 2;
    smear_x = (float)(dx * 5.0 / window_width);
    smear_y = (float)(dy * 5.0 / window_height);
    // Whole degrees: integer division truncates toward zero.
    spin_yaw = (float)(((long long)x - last_mouse_x) / 100);
    spin_pitch = (float)(((long long)y - last_mouse_y) / 100);
    if (rotation_mode == 0) {
        if (smear_x_on == 1)
            scale_x = smear_x;
        if (smear_y_on == 1)
            scale_y = smear_y;
    } else {
        view_yaw = (float)(dx * 360.0 / window_width);
        view_pitch = (float)(dy * 360.0 / window_height);
    }
    glutPostRedisplay();
}

void mouse_handler(int button, int state, int x, int y)
{
    // Shift+left stands in for the middle button on two-button mice.
    if (button == GLUT_LEFT_BUTTON && (glutGetModifiers() & GLUT_ACTIVE_SHIFT))
        button = GLUT_MIDDLE_BUTTON;
    if (state != GLUT_DOWN || button != GLUT_LEFT_BUTTON || rotation_mode != 0) {
        last_mouse_x = x;
        last_mouse_y = y;
        return;
    }
    // The press stretches at once; its spin counts from the previous button event.
    motion_handler(x, y);
    last_mouse_y = y;
    last_mouse_x = x;
}

static void wireframe_on()
{
    glEnable(GL_LINE_SMOOTH);
    glPolygonMode(GL_FRONT, GL_LINE);
    glPolygonMode(GL_BACK, GL_LINE);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glLineWidth(0.75f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

// Texturing and polygon smoothing go on here and stay on for good.
static void wireframe_off()
{
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_POLYGON_SMOOTH);
    glPolygonMode(GL_FRONT, GL_FILL);
    glPolygonMode(GL_BACK, GL_FILL);
}

void keyboard_handler(unsigned char key, int, int)
{
    switch (key) {
    case 'b':
        smear_x_on = 1;
        smear_y_on = 1;
        break;
    case 'f':
        free_rotate = toggled(free_rotate);
        // The idle handler leaves the loop while nothing spins; bring it back.
        if (free_rotate == 1)
            glutIdleFunc(idle_handler);
        break;
    case 'r':
        rotation_mode = toggled(rotation_mode);
        break;
    case 's':
        smooth_shading = toggled(smooth_shading);
        glShadeModel(smooth_shading ? GL_SMOOTH : GL_FLAT);
        break;
    case 'w':
        wire_mode = toggled(wire_mode);
        if (wire_mode)
            wireframe_on();
        else
            wireframe_off();
        break;
    case 'x':
        smear_x_on = toggled(smear_x_on);
        if (smear_y_on == 1)
            smear_y_on = 0;
        break;
    case 'y':
        smear_y_on = toggled(smear_y_on);
        if (smear_x_on == 1)
            smear_x_on = 0;
        break;
    default:
        return;
    }
    glutPostRedisplay();
}

void menu_handler(int value)
{
    keyboard_handler((unsigned char)value, 0, 0);
}

void idle_handler()
{
    // Without a spin there is nothing to do until 'f': unregistered, the
    // toolkit sleeps until the next event instead of calling in a tight loop.
    if (free_rotate != 1) {
        glutIdleFunc(nullptr);
        return;
    }
    // Piles up on the modelview matrix; the display brackets its own transforms.
    glRotatef(spin_yaw, 0.0f, 1.0f, 0.0f);
    glRotatef(spin_pitch, 1.0f, 0.0f, 0.0f);
    glutPostRedisplay();
}

void register_input_handlers()
{
    glutMouseFunc(mouse_handler);
    glutMotionFunc(motion_handler);
    glutKeyboardFunc(keyboard_handler);
    glutIdleFunc(idle_handler);
}

void create_popup_menu()
{
    glutCreateMenu(menu_handler);
    glutAddMenuEntry("smear Y' axis", 'y');
    glutAddMenuEntry("smear X' axis", 'x');
    glutAddMenuEntry("smear both' axis", 'b');
    glutAddMenuEntry("wire mode; adds AA", 'w');
    glutAddMenuEntry("change shading model", 's');
    glutAddMenuEntry("free/motion rotate mode", 'f');
    glutAddMenuEntry("rotation mode", 'r');
    glutAddMenuEntry("aseview - ASE mesh viewer", 32);
    glutAttachMenu(GLUT_RIGHT_BUTTON);
}
