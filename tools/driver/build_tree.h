// What this build tree holds for the tests and the benchmarks: the programs
// it built (ASEVIEW_BIN, a definition for the users of this library) and the
// run folder that its tools filled. Not for installed programs.
#pragma once
#include <string>
#include <vector>

// Copies files that the build made in its run folder (knot.ase, map2.tga)
// into folder, replacing what is there.
void copy_run_files(const std::vector<std::string>& names, const std::string& folder = ".");
