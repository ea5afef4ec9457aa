// The program's window: its place, its pixels and input sent to it.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdlib>

#include "tools/driver/viewer.h"

WindowPlace RealViewer::place_of(unsigned long window) const
{
    XWindowAttributes a;
    Window child;
    WindowPlace place;
    if (display_ && XGetWindowAttributes(display_, window, &a) && a.map_state == IsViewable &&
        XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &place.x, &place.y, &child))
        place = {window, place.x, place.y, a.width, a.height};
    return place;
}

WindowPlace RealViewer::find_window(const std::string& title) const
{
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    WindowPlace found;
    if (!display_ || !XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count))
        return found;
    for (unsigned int i = 0; i < count && !found.id; i++) {
        char* name = nullptr;
        if (XFetchName(display_, children[i], &name) && name && title == name)
            found = place_of(children[i]);
        XFree(name);
    }
    XFree(children);
    return found;
}

// Reads the rectangle of the window as 0xRRGGBB pixels, rows top to bottom;
// empty when it cannot be read.
static std::vector<unsigned long> window_pixels(Display* display, Window window, int x, int y, int width,
                                                int height)
{
    XImage* image = display ? XGetImage(display, window, x, y, width, height, AllPlanes, ZPixmap) : nullptr;
    std::vector<unsigned long> pixels;
    pixels.reserve(image ? size_t(width) * height : 0);
    for (int row = 0; image && row < height; row++)
        for (int column = 0; column < width; column++)
            pixels.push_back(XGetPixel(image, column, row) & 0xffffff);
    if (image)
        XDestroyImage(image);
    return pixels;
}

unsigned long RealViewer::pixel(int x, int y) const
{
    std::vector<unsigned long> pixels = window_pixels(display_, window_.id, x, y, 1, 1);
    return pixels.empty() ? 0 : pixels[0];
}

// Only what lies on the screen can be read: without a window manager the
// window sits at (-1, -1) unless placed, and its first row and column are
// not shown.
Pixels RealViewer::screenshot() const
{
    WindowPlace w = place_of(window_.id);
    int x0 = std::max(0, -w.x), y0 = std::max(0, -w.y);
    int x1 = display_ ? std::min(w.width, DisplayWidth(display_, 0) - w.x) : 0;
    int y1 = display_ ? std::min(w.height, DisplayHeight(display_, 0) - w.y) : 0;
    Pixels shot;
    if (x1 <= x0 || y1 <= y0)
        return shot;
    shot.rgb.reserve(3 * size_t(x1 - x0) * (y1 - y0));
    for (unsigned long pixel : window_pixels(display_, w.id, x0, y0, x1 - x0, y1 - y0))
        shot.rgb.insert(shot.rgb.end(), {(unsigned char)(pixel >> 16), (unsigned char)(pixel >> 8), (unsigned char)pixel});
    if (!shot.rgb.empty()) {
        shot.width = x1 - x0;
        shot.height = y1 - y0;
    }
    return shot;
}

// Every xdotool run has a time limit, so that a hang is a failure.
static bool xdotool(const std::string& commands)
{
    return std::system(("timeout 20 xdotool " + commands + " >/dev/null 2>&1").c_str()) == 0;
}

static std::string at(int x, int y)
{
    return std::to_string(x) + " " + std::to_string(y);
}

std::string RealViewer::pointer_to(int x, int y) const
{
    return "mousemove --window " + std::to_string(window_.id) + " " + at(x, y);
}

bool RealViewer::key(const std::string& keys) const
{
    return xdotool(pointer_to(5, 5) + " key " + keys);
}

bool RealViewer::drag(int x0, int y0, int x1, int y1, int button, const std::string& held_key) const
{
    std::string hold = held_key.empty() ? "" : " keydown " + held_key;
    std::string release = held_key.empty() ? "" : " keyup " + held_key;
    std::string b = std::to_string(button);
    return xdotool(pointer_to(x0, y0) + hold + " mousedown " + b + " " + pointer_to(x1, y1) + " mouseup " + b +
                   release);
}

bool RealViewer::wheel(int x, int y, int notches) const
{
    // X's buttons 4 and 5 are the wheel's notches up and down.
    return notches == 0 || xdotool(pointer_to(x, y) + " click --repeat " + std::to_string(std::abs(notches)) +
                                   " --delay 1 " + (notches > 0 ? "4" : "5"));
}

bool RealViewer::click(int x, int y, const std::string& held_key) const
{
    std::string hold = held_key.empty() ? "" : " keydown " + held_key;
    std::string release = held_key.empty() ? "" : " keyup " + held_key;
    return xdotool(pointer_to(x, y) + hold + " mousedown 1 mouseup 1" + release);
}

bool RealViewer::choose(int entry, int entries) const
{
    const auto poll = std::chrono::milliseconds(50);
    WindowPlace menu;
    if (!xdotool(pointer_to(40, 40) + " mousedown 3") ||
        !wait_until(30, [&] { return (menu = find_window("freeglut menu")).id != 0; }, poll))
        return false;
    int x = menu.x + menu.width / 2, y = menu.y + (2 * entry + 1) * menu.height / (2 * entries);
    return xdotool("mousemove " + at(x, y - 1) + " mousemove " + at(x, y) + " mouseup 3") &&
           wait_until(30, [&] { return find_window("freeglut menu").id == 0; }, poll);
}
