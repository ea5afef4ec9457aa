// Running our real programs and watching them from outside, for the
// benchmarks: generated models, and the viewer's first frame and the phases
// before it. The programs run through the viewer driver, on a private X
// server if wanted.
#pragma once
#include <sys/resource.h>

#include <string>
#include <vector>

#include "tools/driver/build_tree.h"
#include "tools/driver/display.h"
#include "tools/driver/viewer.h"

// Wall time, and processor time (user and system), which other work on a
// busy machine disturbs less.
struct timing {
    double wall, cpu;
    double peak_mb = 0;  // the program's peak resident size
};

double cpu_seconds(const rusage& usage);

// The middle value of the rounds of a measure; -1 for none.
double median(std::vector<double> values);

// Runs a program (looked up on PATH) in `folder`, or here when null, with
// its output sent away, without DISPLAY if asked; its wall time is negative
// if it could not be run or failed.
timing run_program(const std::vector<std::string>& argv, const char* folder = nullptr,
                   bool with_display = true);

// The peak resident size of a running process in MB (0 if unknown).
double process_peak_mb(pid_t pid);

// Seconds from the program's start to its first frame, negative when none
// came within two minutes.
double seconds_to_first_frame(const ViewerStart& how);

// A knot of about `faces` faces in the temp directory's aseview_bench
// folder, made by make_knot unless it is there already, its diffuse map
// `bitmap` when given (the name says which, being the cache's key); ends the
// process if it cannot be made.
std::string generated_knot(const char* name, int faces, const char* bitmap = nullptr);

// The models of the corpus folder's ase/, sorted; none, with a line saying
// so, when it is not there.
std::vector<std::string> corpus_models(const std::string& corpus);

// An ASE model of boxes of 10 units side by side along X, the box numbered i
// in a material of its own whose diffuse map is bitmaps[i], with texture
// coordinates spanning each side.
void write_boxes_model(const std::string& path, const std::vector<std::string>& bitmaps);

// The viewer's way to its first frame, in seconds from its start: the model
// read (opened to closed), the dumps written (the first one's temporary file
// opened to vnorml.txt put in place) and the first frame on screen; negative
// where a phase was not seen.
struct start_phases {
    double load_begin, load_end, dumps_begin, dumps_end, first_frame;
    double peak_mb;  // the viewer's peak resident size at its first frame
};

// Starts aseview in `dir` (which holds its texture) on `model`, a file in
// `dir` or, when null, its default model; waits for its first frame and
// ends it.
start_phases viewer_start_phases(const char* dir, const char* model);
