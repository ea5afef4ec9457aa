// Looks at the viewer's window on the test's X server (kept apart from the
// tests because Xlib's macros clash with GoogleTest's names).
#pragma once

struct XConnection;

struct WindowSnapshot {
    int width = 0, height = 0;
    unsigned long corner = 0, centre = 0;  // 0xRRGGBB
};

XConnection* x_connect();  // null when no display can be opened
void x_disconnect(XConnection* x);
// True once a mapped window with the given title shows a frame (its corner
// pixel cleared to white); fills the snapshot then.
bool frame_shown(XConnection* x, const char* title, WindowSnapshot* snapshot);
