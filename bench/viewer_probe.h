// Running our real programs and watching them from outside, for the
// benchmarks: generated models, the viewer's first frame and the phases
// before it, and the rate at which a window presents frames. The programs
// run through the tests' viewer runner, on a private X server if wanted.
#pragma once
#include <X11/Xlib.h>
#include <sys/types.h>

#include <string>

#include "tests/support/private_display.h"
#include "tests/support/real_viewer.h"

// A knot of about `faces` faces in the temp directory's aseview_bench
// folder, made by make_knot unless it is there already; ends the process if
// it cannot be made.
std::string generated_knot(const char* name, int faces);

// The viewer's way to its first frame, in seconds from its start: the model
// read (opened to closed), the dumps written (dump.txt opened to vnorml.txt
// closed) and the first frame on screen; negative where a phase was not seen.
struct start_phases {
    double load_begin, load_end, dumps_begin, dumps_end, first_frame;
    double peak_mb;  // the viewer's peak resident size at its first frame
};

// Starts aseview in `dir` (which holds its texture) on `model`, a file in
// `dir` or, when null, its default model; waits for its first frame and
// ends it.
start_phases viewer_start_phases(const char* dir, const char* model);

// Milliseconds per frame that the window presents over `seconds`, after the
// first second; negative if it presented none.
double ms_per_frame(Display* display, Window window, double seconds);
