// The packages of a game's tree, one kind behind one interface, searched in
// one ordered list: a loose folder (a game folder itself, or a dpkdir or
// pk4dir folder that stands for an archive unpacked) and a zip archive
// (pk3, dpk, pk4).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gamefs/folders.h"

class game_package;

// A file of the game's tree: loose on disk, or an entry of an archive.
struct game_file {
    std::string path;                       // the loose file, or the archive that holds the entry
    std::string entry_name;                 // the entry's name in lower case; empty for a loose file
    const game_package* package = nullptr;  // where it was found, which reads it
    uint64_t entry = 0;                     // the archive's entry number
};

// A file found by listing a folder, with the size its folder or archive gives.
struct listed_file {
    game_file file;
    uint64_t size;
};

class game_package {
public:
    virtual ~game_package() = default;
    // The file of that game-relative name (its folders, then its name),
    // letter case forgiven; false when there is none.
    virtual bool find(const std::vector<std::string>& folders, const std::string& name, game_file* file) const = 0;
    // The regular files directly in the game-relative folder whose names end
    // in the suffix (both in lower case), in the order of their names in
    // lower case.
    virtual std::vector<listed_file> list(const std::string& folder, const std::string& suffix) const = 0;
    // The file whole, when it holds at most `limit` bytes and reads back
    // intact; false with a short reason in why (which may be null).
    virtual bool read(const game_file& file, size_t limit, std::string* bytes, std::string* why) const = 0;
};

// A folder on disk, read through listings that its tree owns.
std::unique_ptr<game_package> folder_package(const std::string& folder, folder_listings* listings);
// A zip archive, indexed now; null when it is no regular file or no readable
// archive.
std::unique_ptr<game_package> zip_package(const std::string& path);
// The folder below `folder` that the path of folder names means, every
// component matched in its folder's listing; empty when there is none.
std::string subfolder(folder_listings& listings, const std::string& folder, const std::vector<std::string>& folders);
