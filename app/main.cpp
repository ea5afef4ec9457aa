#include <GL/glut.h>
#include <cstdio>
#include <cstdlib>

#include "input/input.h"
#include "mesh/ase.h"
#include "mesh/dump.h"
#include "render/render.h"

// Opens the window, sets up the scene and the handlers, writes the dumps and
// hands control to GLUT for good.
static void run_viewer(int* argc, char** argv)
{
    glutInit(argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(window_width, window_height);
    glutCreateWindow("various stuff- playing with colors");
    init_scene();
    glutDisplayFunc(display_handler);
    glutReshapeFunc(reshape_handler);
    register_input_handlers();
    create_popup_menu();
    dump_vert();
    dump_norm();
    dump_vnorm();
    glutMainLoop();
}

int main(int argc, char** argv)
{
    // Each line reaches a redirected console as it is printed: a load that
    // blocks or is killed, and the main loop, which never returns, would
    // otherwise keep it back.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    // Read first: a wrong value ends the program before anything happens.
    bool fitted = fit_requested(getenv("ASEVIEW_VIEW"));
    keep_frame_memory();
    printf("argc = %i\n", argc);
    if (argc < 2) {
        printf("loading default knot model\n");
        load_model("knot.ase");
    } else {
        printf("Loading file %s\n", argv[1]);
        load_model(argv[1]);
        printf("Load succesfult\n");
    }
    if (fitted)
        fit_view_to_model();
    run_viewer(&argc, argv);
    return 0;
}
