#include "bench/first_frame.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xutil.h>

#include <chrono>
#include <cstring>

// The viewer's first frame clears its window to white: its top-left pixel
// turns white once the window is mapped and drawn.
static bool viewer_frame_shown(Display* display)
{
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
    unsigned int count = 0;
    bool shown = false;
    if (!XQueryTree(display, root, &root, &parent, &children, &count))
        return false;
    for (unsigned int i = 0; i < count && !shown; i++) {
        char* name = nullptr;
        XWindowAttributes a;
        if (XFetchName(display, children[i], &name) && name &&
            strcmp(name, "various stuff- playing with colors") == 0 &&
            XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable) {
            XImage* image = XGetImage(display, children[i], 1, 1, 1, 1, AllPlanes, ZPixmap);
            shown = image && (XGetPixel(image, 0, 0) & 0xffffff) == 0xffffff;
            if (image)
                XDestroyImage(image);
        }
        XFree(name);
    }
    XFree(children);
    return shown;
}

// A window that goes away between the query and the read is no error here.
static int ignore_error(Display*, XErrorEvent*)
{
    return 0;
}

double seconds_to_first_frame(Display* display, const char* dir, const char* model)
{
    XSetErrorHandler(ignore_error);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        if (chdir(dir) == 0)
            execl(ASEVIEW_BIN, ASEVIEW_BIN, model, (char*)nullptr);
        _exit(127);
    }
    bool shown = false;
    while (!shown && waitpid(pid, nullptr, WNOHANG) == 0) {
        shown = viewer_frame_shown(display);
        usleep(1000);
    }
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return shown ? elapsed.count() : -1;
}
