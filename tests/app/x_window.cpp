#include "tests/app/x_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>

struct XConnection {
    Display* display;
};

XConnection* x_connect()
{
    Display* display = XOpenDisplay(nullptr);
    return display ? new XConnection{display} : nullptr;
}

void x_disconnect(XConnection* x)
{
    if (!x)
        return;
    XCloseDisplay(x->display);
    delete x;
}

static Window find_window(Display* display, const char* title)
{
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr, found = 0;
    unsigned int count = 0;
    if (!XQueryTree(display, root, &root, &parent, &children, &count))
        return 0;
    for (unsigned int i = 0; i < count && !found; i++) {
        char* name = nullptr;
        XWindowAttributes a;
        if (XFetchName(display, children[i], &name) && name && strcmp(name, title) == 0 &&
            XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable)
            found = children[i];
        XFree(name);
    }
    XFree(children);
    return found;
}

// A window that vanishes between the look-up and the read raises an X error;
// it only means "not yet" here.
static int ignore_error(Display*, XErrorEvent*)
{
    return 0;
}

static unsigned long pixel_at(Display* display, Window window, int x, int y)
{
    XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image)
        return 0;
    unsigned long pixel = XGetPixel(image, 0, 0) & 0xffffff;
    XDestroyImage(image);
    return pixel;
}

bool frame_shown(XConnection* x, const char* title, WindowSnapshot* snapshot)
{
    XErrorHandler previous = XSetErrorHandler(ignore_error);
    Window window = find_window(x->display, title);
    // Other tests' windows may open over it on the same server; what they
    // cover would read as theirs.
    if (window) {
        XRaiseWindow(x->display, window);
        XSync(x->display, False);
    }
    XWindowAttributes a;
    bool shown = window && XGetWindowAttributes(x->display, window, &a) &&
                 pixel_at(x->display, window, 1, 1) == 0xffffff;
    if (shown) {
        snapshot->width = a.width;
        snapshot->height = a.height;
        snapshot->corner = pixel_at(x->display, window, 1, 1);
        snapshot->centre = pixel_at(x->display, window, a.width / 2 - 4, a.height / 2 - 4);
    }
    XSync(x->display, False);
    XSetErrorHandler(previous);
    return shown;
}
