// Folder entries found by name with letter case forgiven, each folder read
// once per run and kept: a model may name hundreds of textures, all looked
// for in the same few folders.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The name with ASCII letters in lower case: names come from Windows tools,
// and how they match must not depend on the locale the viewer runs in.
std::string fold_case(const std::string& name);
// The entry of folder that name means: the entry of exactly that name, else
// the first in byte order whose name differs from it only in ASCII letter
// case. Empty when there is none or the folder cannot be read. Entries that
// do not exist (dangling or looping symbolic links) are never found, nor are
// "." and "..".
std::string folder_entry(const std::string& folder, const std::string& name);
// A descriptor of a regular file opened for reading, or -1: a folder, a
// device or a FIFO is refused without blocking or reading.
int open_regular_file(const std::string& path);
// Every entry of folder, sorted by name in lower case; empty when it cannot
// be read.
std::vector<std::string> folder_names(const std::string& folder);
// Hashing and equality of names with ASCII letter case ignored, for tables
// keyed by names as they are written.
struct folded_hash {
    size_t operator()(std::string_view name) const;
};
struct folded_equal {
    bool operator()(std::string_view a, std::string_view b) const;
};
