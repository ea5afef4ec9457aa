// The floor under the viewer's frame time: the same mesh sent with the same
// immediate-mode calls and colours, the same texture with sphere-map
// generation, spun from the idle callback, and nothing else per frame.
// Usage: frame_floor MODEL   (map2.tga in the working directory)
#include <GL/glut.h>

#include "mesh/ase.h"
#include "mesh/store.h"
#include "render/render.h"

static void draw_frame()
{
    static int cycle = 1;
    static const GLfloat colors[2][3][3] = {{{0, 0, 1}, {0, 1, 0}, {0, 0, 1}}, {{1, 1, 0}, {1, 1, 0}, {1, 1, 0}}};
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glPushMatrix();
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    glScalef(MODEL_SCALE, MODEL_SCALE, MODEL_SCALE);
    glBegin(GL_TRIANGLES);
    for (int i = 0; i < MAX_FACES; i++) {
        const face_data& face = face_list[i];
        const GLfloat(*corner)[3] = colors[cycle == 0];
        for (int k = 0; k < 3; k++) {
            glNormal3fv(vertex_list[face.vnorm[k]].norm);
            glColor3f(corner[k][0], corner[k][1], corner[k][2]);
            glVertex3fv(vertex_list[face.vert[k]].xyz);
        }
        cycle = cycle == -2 ? 1 : cycle - 1;
    }
    glEnd();
    glPopMatrix();
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glutSwapBuffers();
}

static void spin()
{
    glRotatef(1.0f, 0.0f, 1.0f, 0.0f);
    glutPostRedisplay();
}

int main(int argc, char** argv)
{
    // Without it this program pays the same fresh pages in every frame as
    // a viewer without it, and would be no floor.
    keep_frame_memory();
    if (argc < 2)
        return 2;
    load_model(argv[1]);
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(640, 480);
    glutCreateWindow("aseview floor");
    // The viewer's own set-up: the texture, its sphere-map mode, the depth test.
    init_scene();
    glEnable(GL_TEXTURE_2D);
    glutDisplayFunc(draw_frame);
    glutReshapeFunc(reshape_handler);
    glutIdleFunc(spin);
    glutMainLoop();
}
