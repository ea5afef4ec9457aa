// A picture saved as an 8-bit RGB PNG file.
#pragma once
#include <filesystem>
#include <string>

#include "tools/driver/viewer.h"

// Whether a picture may be saved there: nothing bears the name, or a regular
// file does (through symbolic links). The rename that saves it would put
// anything else, a device or a FIFO, out of its place.
bool replaceable(const std::filesystem::path& path);

// Writes under a temporary name in the same folder and renames, so that no
// partial file ever bears the name; a regular file of that name is replaced
// and its permission bits kept, anything else is refused. Empty on success,
// otherwise why it failed.
std::string save_png(const std::filesystem::path& path, const Pixels& picture);
