// Folder entries found by name with letter case forgiven, each folder read
// once per listings object: a model may name hundreds of textures, all
// looked for in the same few folders, and a tree read anew sees its changes.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// The name with ASCII letters in lower case: names come from Windows tools,
// and how they match must not depend on the locale the viewer runs in.
std::string fold_case(const std::string& name);

struct folder_entry_name {
    std::string folded;  // the name in lower case, the key of the search
    std::string name;
};

// A folder as read, and the names looked up in it.
struct folder_listing {
    std::vector<folder_entry_name> entries;  // sorted by folded name, then by name
    // In lower case, found or not: where a search looked, which a watch of
    // the tree must follow for what is not there yet.
    std::unordered_set<std::string> asked;
};

// Every folder read so far, by the path it was read under.
struct folder_listings {
    std::unordered_map<std::string, folder_listing> by_folder;
};

// The entry of folder that name means: the entry of exactly that name, else
// the first in byte order whose name differs from it only in ASCII letter
// case. Empty when there is none or the folder cannot be read. Entries that
// do not exist (dangling or looping symbolic links) are never found, nor are
// "." and "..".
std::string folder_entry(folder_listings& listings, const std::string& folder, const std::string& name);
// Whether a name looked up through folder_entry has come into its folder or
// gone from it since the folder was read: what a watch begun after the
// search would miss.
bool asked_names_changed(const folder_listings& listings);
// Every entry of folder, sorted by name in lower case; empty when it cannot
// be read.
std::vector<std::string> folder_names(folder_listings& listings, const std::string& folder);
// A descriptor of a regular file opened for reading, or -1: a folder, a
// device or a FIFO is refused without blocking or reading.
int open_regular_file(const std::string& path);
// A regular file whole, if it holds at most `limit` bytes; false with a
// short reason otherwise (why may be null). Never blocks on a FIFO.
bool read_regular_file(const std::string& path, size_t limit, std::string* bytes, std::string* why);
// The reason a file or entry is refused for its size.
std::string larger_than(size_t limit);
// Writes all the bytes, through short writes and interruptions: 0, or the
// errno of the first failure (ENOSPC for a write that takes nothing).
int write_all(int fd, const void* bytes, size_t size);
// Hashing and equality of names with ASCII letter case ignored, for tables
// keyed by names as they are written.
struct folded_hash {
    size_t operator()(std::string_view name) const;
};
struct folded_equal {
    bool operator()(std::string_view a, std::string_view b) const;
};
