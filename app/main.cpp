#include <GL/glut.h>
#include <GL/glx.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "mesh/model_files.h"
#include "input/input.h"
#include "input/model_controls.h"
#include "mesh/ase.h"
#include "mesh/dump.h"
#include "mesh/model.h"
#include "render/model_camera.h"
#include "render/render.h"

// Docks and task bars match the window to the desktop entry by its class.
static void name_window_class()
{
    char name[] = "aseview";
    XClassHint hint = {name, name};
    XSetClassHint(glXGetCurrentDisplay(), glXGetCurrentDrawable(), &hint);
}

// Opens the window, sets up the scene and the handlers, writes the dumps and
// hands control to GLUT for good.
static void run_viewer(int* argc, char** argv, view_kind view, const char* model_path)
{
    glutInit(argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(window_width, window_height);
    if (view == view_kind::model) {
        // Several models open at once are told apart by their windows' titles.
        glutCreateWindow(model_window_title(model_path).c_str());
    } else {
        glutCreateWindow("various stuff- playing with colors");
    }
    name_window_class();
    if (view == view_kind::model)
        init_model_scene();
    else
        init_scene();
    glutDisplayFunc(view == view_kind::model ? model_display_handler : display_handler);
    if (view == view_kind::model) {
        glutReshapeFunc(model_reshape_handler);
        register_model_controls();
    } else {
        glutReshapeFunc(reshape_handler);
        register_input_handlers();
        create_popup_menu();
    }
    dump_vert();
    dump_norm();
    dump_vnorm();
    if (view == view_kind::model)
        finish_model_scene();
    glutMainLoop();
}

// The model view reads the file once for both readers, which run side by
// side: the mesh store keeps the dumps as they are, the model store draws
// every object. A pipe can be read only once, and a large file is mapped
// rather than copied.
static void load_model_and_scene(const char* path)
{
    FILE* stream = fopen(path, "r");
    if (!stream) {
        printf("File not there or something ;|\n");
        exit(1);
    }
    struct stat info;
    void* mapped = MAP_FAILED;
    size_t size = 0;
    std::vector<char> bytes;
    if (fstat(fileno(stream), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        size = (size_t)info.st_size;
        mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fileno(stream), 0);
    }
    const char* text;
    if (mapped != MAP_FAILED) {
        text = (const char*)mapped;
    } else {
        char block[1 << 16];
        for (size_t n; (n = fread(block, 1, sizeof block, stream)) > 0;)
            bytes.insert(bytes.end(), block, block + n);
        size = bytes.size();
        text = bytes.data();
    }
    // Nothing read, nothing to parse: an empty memory stream is no stream.
    if (size > 0) {
        FILE* mesh = fmemopen((void*)text, size, "r");
        FILE* scene = fmemopen((void*)text, size, "r");
        if (!mesh || !scene) {
            printf("error in d_data *alloc_data() function\n");
            exit(1);
        }
        // Two stores from two streams over the same bytes: one reader on
        // each core.
        std::thread scene_reader(parse_model, scene);
        parse_ase(mesh);
        scene_reader.join();
        fclose(mesh);
        fclose(scene);
    }
    if (mapped != MAP_FAILED)
        munmap(mapped, size);
    fclose(stream);
}

int main(int argc, char** argv)
{
    // Each line reaches a redirected console as it is printed: a load that
    // blocks or is killed, and the main loop, which never returns, would
    // otherwise keep it back.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    // Read first: a wrong value ends the program before anything happens.
    view_kind view = view_requested(getenv("ASEVIEW_VIEW"));
    keep_frame_memory();
    printf("argc = %i\n", argc);
    const char* model_path = argc < 2 ? "knot.ase" : argv[1];
    void (*load)(const char*) = view == view_kind::model ? load_model_and_scene : load_model;
    if (argc < 2) {
        printf("loading default knot model\n");
        load(model_path);
    } else {
        printf("Loading file %s\n", model_path);
        load(model_path);
        printf("Load succesfult\n");
    }
    if (view == view_kind::fitted)
        fit_view_to_model();
    if (view == view_kind::model)
        prepare_model_view(model_path);
    run_viewer(&argc, argv, view, model_path);
    return 0;
}
