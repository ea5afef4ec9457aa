// Starting the real viewer and waiting for its first frame, for the benchmarks.
#pragma once
#include <X11/Xlib.h>

// Starts aseview in `dir` (which holds its texture) on `model`, or on its
// default model when null, and returns the seconds until its first frame
// is on screen; negative if the viewer ended without drawing. The viewer is
// ended afterwards.
double seconds_to_first_frame(Display* display, const char* dir, const char* model);
