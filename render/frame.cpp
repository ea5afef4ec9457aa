#include <GL/glu.h>
#include <GL/glut.h>
#include <malloc.h>

#include "input/input.h"
#include "mesh/store.h"
#include "render/render.h"

int color_cycle = 1;
const float MODEL_SCALE = 0.03f;

static const GLfloat blue[3] = {0.0f, 0.0f, 1.0f};
static const GLfloat green[3] = {0.0f, 1.0f, 0.0f};
static const GLfloat yellow[3] = {1.0f, 1.0f, 0.0f};

// Corner colours A, B, C: [1] for cycle step 0, [0] for the other three steps.
static const GLfloat* const corner_colors[2][3] = {{blue, green, blue}, {yellow, yellow, yellow}};

void keep_frame_memory()
{
    // The driver allocates and frees megabytes of vertex buffers in every
    // frame, in blocks of about half a megabyte. By default the C library
    // maps such blocks afresh and trims the heap after the frame, so every
    // frame faults in and zeroes its memory again: a third of the frame time
    // of a mid-size model. Blocks below 32 MB (the most it allows) come from
    // the heap instead, and up to 256 MB of freed heap is kept for the next
    // frame; the peak stays that of one frame.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

void draw_mesh()
{
    glColor3f(1.0f, 1.0f, 1.0f);
    glBegin(GL_TRIANGLES);
    for (int i = 0; i < MAX_FACES; i++) {
        const face_data* face = &face_list[i];
        int c = color_cycle;
        // A face naming a vertex that does not exist is not drawn, but it still
        // takes its step of the cycle so the other faces keep their colours.
        if (face_drawable(face)) {
            const GLfloat* const* colors = corner_colors[c == 0];
            for (int k = 0; k < 3; k++) {
                glNormal3fv(vertex_list[face->vnorm[k]].norm);
                glColor3f(colors[k][0], colors[k][1], colors[k][2]);
                glVertex3fv(vertex_list[face->vert[k]].xyz);
            }
        }
        color_cycle = c - 1 < -2 ? 1 : c - 1;
    }
}

// Eight vertices sent after the faces in the same batch, without a colour of
// their own; the fitted view scales their positions so that they keep the
// size on screen that the default view gives them.
static void draw_extra_vertices()
{
    const float s = extra_vertex_scale;
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(s, 0.0f, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(s, s, 0.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(0.0f, s, 0.0f);

    glTexCoord2f(0.0f, 0.0f);
    glNormal3f(0.0f, 0.0f, 0.0f);
    glVertex3f(0.0f, s, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glNormal3f(0.0f, 0.0f, -1.0f);
    glVertex3f(s, s, 0.0f);

    glNormal3f(0.0f, 0.0f, -1.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(0.75f * s, 1.25f * s, 0.25f * s);
    glNormal3f(0.0f, -0.1875f, 0.9375f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(0.0f, 1.25f * s, 0.25f * s);
}

void turn_and_stretch()
{
    glRotatef(view_yaw, 0.0f, 1.0f, 0.0f);
    glRotatef(view_pitch, 1.0f, 0.0f, 0.0f);
    glScalef(scale_x, scale_y, 1.0f);
}

void place_model()
{
    glScalef(MODEL_SCALE, MODEL_SCALE, MODEL_SCALE);
    // Innermost, so that the turns and stretches act about the model's centre.
    if (fit_view)
        glMultMatrixd(fit_model_matrix);
}

void display_handler()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor3f(0.0f, 1.0f, 0.0f);
    // The push keeps the free spin that the idle handler left on the matrix.
    glPushMatrix();
    turn_and_stretch();
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture_id);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    place_model();
    draw_mesh();
    draw_extra_vertices();
    glEnd();
    glPopMatrix();
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glutSwapBuffers();
}

void reshape_handler(int width, int height)
{
    glViewport(0, 0, width, height);
    // A zero height has no aspect ratio: the last projection stays in force
    // until a real size arrives.
    if (height > 0) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        double aspect = (double)width / (double)height;
        if (fit_view)
            fit_projection(aspect);
        else
            gluPerspective(60.0, aspect, 1.0, 20.0);
    }
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0.0, 0.0, eye_distance, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
}
