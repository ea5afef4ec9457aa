// A picture saved as an 8-bit RGB PNG file.
#pragma once
#include <filesystem>
#include <string>

#include "tools/driver/viewer.h"

// Writes under a temporary name in the same folder and renames, so that no
// partial file ever bears the name; a file of that name is replaced. Empty
// on success, otherwise why it failed.
std::string save_png(const std::filesystem::path& path, const Pixels& picture);
