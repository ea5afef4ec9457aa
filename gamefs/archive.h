// pk3 and dpk archives: zip files that stand for the folders of a game's
// tree, read through libzip. Nothing is ever written or unpacked to disk.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "gamefs/folders.h"

struct game_archive {
    std::string path;
    std::string names;  // the kept entries' names, one after another
    // Entry numbers by their names (views into `names`), in any letter case.
    // Folders, and names that would climb out of the tree ("..", a leading
    // "/"), are left out.
    std::unordered_map<std::string_view, uint64_t, folded_hash, folded_equal> entries;
    // The texts of its scripts/*.shader, in the order of their names in
    // lower case, read while the archive was open.
    std::vector<std::string> shader_scripts;
};

// The largest shader script read: far beyond any game's, small enough to hold.
constexpr size_t shader_script_limit = size_t(64) << 20;

// Indexes the entries of a regular file; null when it is no regular file or
// no readable zip archive. Never blocks on a FIFO. The archive is not kept
// open: libzip's directory of a thousand entries is a third of a megabyte,
// and a game has dozens of archives of which a model needs a few entries.
game_archive* archive_open(const std::string& path);
void archive_close(game_archive* archive);
// The entry of that game-relative name, in any letter case; false when none.
bool archive_find(const game_archive* archive, std::string_view name, uint64_t* entry);
// The entry whole, if it holds at most `limit` bytes and reads back intact
// (a size that lies, a damaged stream or a wrong checksum fails); the
// archive is opened again for it.
bool archive_read(const game_archive* archive, uint64_t entry, size_t limit, std::string* bytes);
