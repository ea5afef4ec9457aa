// The model view's files: the other models of the shown model's folder, a
// model read again into the model store, and the shown file, its textures
// and every place their search looked watched for changes. Free of GL and
// of the window: the view's glue does the drawing.
#pragma once
#include <string>
#include <vector>

#include "gamefs/folders.h"

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
// The same for a file written and not closed since: a writer may pause
// while it writes, but one that never closes (truncate(2), a file kept open,
// a lost event) must not hold the reload back for ever.
constexpr int model_unclosed_quiet_ms = 2000;

// Watches the files at `paths` (the model and the files its textures come
// from) and the names looked up in the `searched` listings (every place
// their search looked), there or not: each path's folder for its name and,
// when it is a symbolic link, each place it leads to as well; names match
// with ASCII letter case forgiven, as the search forgives it. A folder that
// is not there is watched at the nearest folder above that is, for the name
// of the next one down. `changed` is called on the watch's own thread once
// a watched name was written, renamed over, created or removed and then
// stayed still: model_quiet_ms after it was closed or replaced,
// model_unclosed_quiet_ms after a write that was not closed. Names changed
// together are reported once, when all are still; a name that never stays
// still holds the others back for model_unclosed_quiet_ms at most. Replaces
// the earlier watch, keeping the changes it has not reported yet; false
// when some place cannot be watched at all (the others still are). A name
// looked up that came or went between the search and this call counts as
// changed.
bool watch_model_files(const std::vector<std::string>& paths, void (*changed)(), folder_listings searched = {});
// Ends the watch and its thread; safe to call more than once.
void stop_watching();
