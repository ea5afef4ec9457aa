// Running our real programs and watching them from outside, for the
// benchmarks: generated models, the viewer's first frame and the phases
// before it, and the rate at which a window presents frames while it spins.
#pragma once
#include <X11/Xlib.h>
#include <sys/types.h>

#include <string>

// A knot of about `faces` faces in the temp directory's aseview_bench
// folder, made by make_knot unless it is there already; ends the process if
// it cannot be made.
std::string generated_knot(const char* name, int faces);

// Starts argv[0] in `dir` with its standard output sent away.
pid_t start_program(const char* dir, const char* const* argv);
// Ends it and returns its peak resident size in MB (0 if unknown).
double stop_program(pid_t pid);

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
start_phases viewer_start_phases(Display* display, const char* dir, const char* model);

// The top-level window of that title once it is viewable, or 0 when the
// process ended or `seconds` passed first.
Window wait_for_window(Display* display, const char* title, pid_t pid, double seconds);
// Sets the model spinning as a user would: a drag 150 pixels to the right
// from the window's centre, then 'f'.
void start_spin(Display* display, Window window);
// Milliseconds per frame that the window presents over `seconds`, after the
// first second; negative if it presented none.
double ms_per_frame(Display* display, Window window, double seconds);
