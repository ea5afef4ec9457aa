// pk3, dpk and pk4 archives: zip files that stand for the folders of a game's
// tree, their entries stored or deflated. Nothing is ever written or
// unpacked to disk.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "gamefs/folders.h"

// Where an entry is and what it holds, from the central directory.
struct archive_entry {
    uint64_t offset;  // of its local header
    uint64_t packed_size, size;
    uint32_t crc;
    uint16_t method, flags;
};
static_assert(sizeof(archive_entry) == 32);

struct game_archive {
    std::string path;
    std::string names;  // the kept entries' names, one after another
    // Entry numbers by their names (views into `names`), in any letter case.
    // Folders, and names that would climb out of the tree ("..", a leading
    // "/"), are left out.
    std::unordered_map<std::string_view, uint64_t, folded_hash, folded_equal> entries;
    std::vector<archive_entry> records;  // by entry number
};

// Indexes the entries of a regular file; null when it is no regular file or
// no readable zip archive. The directory is walked by its size: archives of
// 65535 entries and more are written without a zip64 record, their count
// cut to 16 bits. Never blocks on a FIFO. The archive is not kept
// open: a game has dozens of archives of which a model needs a few entries.
game_archive* archive_open(const std::string& path);
void archive_close(game_archive* archive);
// The entry of that game-relative name, in any letter case; false when none.
bool archive_find(const game_archive* archive, std::string_view name, uint64_t* entry);
// The entry whole, if it holds at most `limit` bytes and reads back intact
// (a size that lies, a damaged stream or a wrong checksum fails, with a
// short reason in why, which may be null); the archive is opened again for
// it.
bool archive_read(const game_archive* archive, uint64_t entry, size_t limit, std::string* bytes,
                  std::string* why = nullptr);
