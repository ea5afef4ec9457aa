// A window that is mapped and never drawn, as a GL program's window is before
// its first frame: background None, so mapping paints nothing either.
// Usage: unpainted_window TITLE
#include <X11/Xlib.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display || argc != 2)
        return 1;
    XSetWindowAttributes none = {};
    none.background_pixmap = None;
    Window window = XCreateWindow(display, DefaultRootWindow(display), 0, 0, 640, 480, 0, CopyFromParent,
                                  InputOutput, CopyFromParent, CWBackPixmap, &none);
    XStoreName(display, window, argv[1]);
    // Created, named and mapped in one go: the server maps the window before a
    // watcher can react to its creation.
    XMapWindow(display, window);
    XFlush(display);
    pause();
}
