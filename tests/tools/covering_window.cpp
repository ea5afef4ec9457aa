// A grey window over the whole screen that raises itself above every window
// mapped after it, as another program's window may: the others are covered
// all their lives.
// Usage: covering_window TITLE
#include <X11/Xlib.h>

int main(int argc, char** argv)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display || argc != 2)
        return 1;
    Window root = DefaultRootWindow(display);
    Window window = XCreateSimpleWindow(display, root, 0, 0, DisplayWidth(display, 0), DisplayHeight(display, 0), 0,
                                        0, 0x808080);
    XStoreName(display, window, argv[1]);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSelectInput(display, window, ExposureMask);
    XMapWindow(display, window);
    for (XEvent event;;) {
        XNextEvent(display, &event);
        if (event.type == MapNotify && event.xmap.window != window)
            XRaiseWindow(display, window);
        else if (event.type == Expose)  // asked for a frame: paint the background again
            XClearWindow(display, window);
        XFlush(display);
    }
}
