#include "tools/driver/frames.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>

#include <algorithm>
#include <climits>

static void no_damage(int* x0, int* y0, int* x1, int* y1)
{
    *x0 = *y0 = INT_MAX;
    *x1 = *y1 = INT_MIN;
}

bool FrameWatch::start(Display* display, const std::string& title, bool own_pixels)
{
    int error_base;
    display_ = display;
    title_ = title;
    no_damage(&x0_, &y0_, &x1_, &y1_);
    if (!display || !XDamageQueryExtension(display, &damage_event_, &error_base))
        return false;
    int composite_event, major = 0, minor = 2;
    composite_ = own_pixels && XCompositeQueryExtension(display, &composite_event, &error_base) &&
                 XCompositeQueryVersion(display, &major, &minor) && (major > 0 || minor >= 2);
    screen_width_ = DisplayWidth(display, DefaultScreen(display));
    screen_height_ = DisplayHeight(display, DefaultScreen(display));
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    owners_.open();
    return true;
}

// Whether the window is the program's and bears the title; once one is and
// does, it alone is watched.
bool FrameWatch::is_watched(unsigned long window)
{
    if (!window_) {
        char* name = nullptr;
        if (XFetchName(display_, window, &name) && name && title_ == name) {
            pid_t owner = owners_.pid_of(window);
            if (owner == 0 || descends_from(owner, program_))
                keep_own_pixels(window);
        }
        XFree(name);
    }
    return window_ == window;
}

// The window is drawn into storage of its own, which the server still shows
// on the screen: another window over it, such as a second program's, then
// takes none of its frames or pixels. A window redirected once mapped is
// mapped again, which makes the program draw anew.
void FrameWatch::keep_own_pixels(unsigned long window)
{
    window_ = window;
    if (!composite_)
        return;
    no_frame_at_[window].push_back(NextRequest(display_));
    XCompositeRedirectWindow(display_, window, CompositeRedirectAutomatic);
    XNoOp(display_);  // later reports get a later serial
    XFlush(display_);
}

// A report that shows no frame of the program's came instead of one that
// may have: the window was viewable before its Damage existed, and a frame
// it presented by then went unseen; or the report was the server's filling
// of the window's own storage. A program at rest draws no other frame by
// itself. An Expose makes it draw again; sent as an event, it changes no pixel, unlike
// clearing the window, which would paint a background.
void FrameWatch::ask_for_a_frame(unsigned long window, int width, int height)
{
    XEvent expose = {};
    expose.xexpose.type = Expose;
    expose.xexpose.window = window;
    expose.xexpose.width = width;
    expose.xexpose.height = height;
    XSendEvent(display_, window, False, ExposureMask, &expose);
    XFlush(display_);
}

void FrameWatch::take_events(int wait_ms)
{
    if (!display_)
        return;
    pollfd reports = {ConnectionNumber(display_), POLLIN, 0};
    if (wait_ms > 0 && !XPending(display_))
        poll(&reports, 1, wait_ms);
    while (XPending(display_)) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == CreateNotify && !event.xcreatewindow.override_redirect) {
            // Raw rectangles, one report per drawing: nothing to acknowledge,
            // so no frame is lost between a report and its acknowledgement.
            Window window = event.xcreatewindow.window;
            no_frame_at_[window].push_back(NextRequest(display_));
            XDamageCreate(display_, window, XDamageReportRawRectangles);
            // The title may come after this look: its change is reported.
            // Being a later request, it also gives every later report a
            // later serial than the creation's.
            XSelectInput(display_, window, PropertyChangeMask);
            is_watched(window);
        } else if (event.type == PropertyNotify && event.xproperty.atom == XA_WM_NAME) {
            is_watched(event.xproperty.window);
        } else if (event.type == MapNotify && composite_ && event.xmap.window == window_) {
            // Mapping a redirected window fills its storage from the screen
            // and reports that as damage, in the program's request that
            // mapped it: the report has the serial of this notice.
            no_frame_at_[window_].push_back(event.xany.serial);
            XNoOp(display_);
            XFlush(display_);
        } else if (event.type == damage_event_ + XDamageNotify) {
            auto* damage = (XDamageNotifyEvent*)&event;
            if (!is_watched(damage->drawable))
                continue;
            const std::vector<unsigned long>& none = no_frame_at_[damage->drawable];
            if (std::find(none.begin(), none.end(), event.xany.serial) != none.end()) {
                ask_for_a_frame(damage->drawable, damage->geometry.width, damage->geometry.height);
                continue;
            }
            x0_ = std::min<int>(x0_, damage->area.x);
            y0_ = std::min<int>(y0_, damage->area.y);
            x1_ = std::max(x1_, damage->area.x + damage->area.width);
            y1_ = std::max(y1_, damage->area.y + damage->area.height);
            // Damage is reported only where the window is on the screen; the
            // geometry is the window's, its place on the screen included.
            const XRectangle& w = damage->geometry;
            if (x0_ <= std::max(0, -w.x) && y0_ <= std::max(0, -w.y) &&
                x1_ >= std::min<int>(w.width, screen_width_ - w.x) &&
                y1_ >= std::min<int>(w.height, screen_height_ - w.y)) {
                frames_++;
                last_frame_at_ = Clock::now();
                no_damage(&x0_, &y0_, &x1_, &y1_);
            }
        }
    }
}

void FrameWatch::catch_up()
{
    if (display_)
        XSync(display_, False);
    take_events();
}
