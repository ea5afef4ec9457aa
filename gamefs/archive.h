// pk3 and dpk archives: zip files that stand for the folders of a game's
// tree, read through libzip. Nothing is ever written or unpacked to disk.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct zip;

struct game_archive {
    std::string path;
    zip* archive;
    // Entry numbers by their names in lower case; folders, and names that
    // would climb out of the tree ("..", a leading "/"), are left out.
    std::unordered_map<std::string, uint64_t> entries;
};

// Opens a regular file and indexes its entries; null when it is no regular
// file or no readable zip archive. Never blocks on a FIFO.
game_archive* archive_open(const std::string& path);
void archive_close(game_archive* archive);
// The entry of that game-relative name, in any letter case; false when none.
bool archive_find(const game_archive* archive, std::string_view name, uint64_t* entry);
// The entry whole, if it holds at most `limit` bytes and reads back intact
// (a size that lies, a damaged stream or a wrong checksum fails).
bool archive_read(game_archive* archive, uint64_t entry, size_t limit, std::string* bytes);
// The names, in lower case, of the entries in `folder` (e.g. "scripts/")
// that end in `suffix`, sorted.
std::vector<std::string> archive_list(const game_archive* archive, std::string_view folder,
                                      std::string_view suffix);
