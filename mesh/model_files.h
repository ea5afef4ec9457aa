// The model view's files: the other models of the shown model's folder, a
// model read again into the model store, and the shown file watched for
// changes. Free of GL and of the window: the view's glue does the drawing.
#pragma once
#include <string>
#include <vector>

// "<file name> - aseview": the model view's window title.
std::string model_window_title(const std::string& path);

// The regular files of the folder whose names end in ".ase" in any letter
// case, by name with letter case folded (the bytes decide a tie).
std::vector<std::string> ase_files_in(const std::string& folder);

// The other models of the folder of `path`, in the order that steps of
// `step` (+1 onwards, -1 backwards) visit them, wrapping around at the
// ends; named as `path` names its folder. A model no longer listed counts
// from where its name would sort.
std::vector<std::string> models_from(const std::string& path, int step);

// Reads a regular file into the model store. False, with the reason and the
// store empty, when it cannot be read, is no regular file (a pipe would
// block) or holds no face to draw.
bool read_model_file(const std::string& path, std::string* why);

// How long a changed file must stay still before it counts as written.
constexpr int model_quiet_ms = 200;

// Watches the regular files at `paths` (the model and the files its
// textures come from): `changed` is called on the watch's own thread once
// one of them was written and closed, renamed over, created or removed and
// then stayed still for model_quiet_ms; files changed together are reported
// once, when all are whole and still. A file still being written is not
// reported until its writer closes it. Replaces the earlier watch; false
// when some file cannot be watched (the others still are).
bool watch_model_files(const std::vector<std::string>& paths, void (*changed)());
// Ends the watch and its thread; safe to call more than once.
void stop_watching();
