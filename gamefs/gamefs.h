// Where a model's textures are, found as the level editors of the Quake III
// family and of the id Tech 4 games find them: names relative to the game's
// folder, looked for in the model's folder, every folder above it and the
// folders of ASEVIEW_GAME_PATH; in each, loose files first, then its pk3,
// dpk and pk4 archives and dpkdir and pk4dir folders; a shader script's or
// material's image before a file of its name; extensions and letter case
// forgiven.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct game_archive;

// A file of the game's tree: loose on disk, or an entry of an archive.
struct game_file {
    std::string path;       // the loose file, or the archive that holds the entry
    game_archive* archive;  // null for a loose file
    uint64_t entry;
    std::string entry_name;  // the entry's name in lower case, for an archive's
};

// What a texture name shows.
struct texture_lookup {
    // The files that may hold it, in the order they are to be tried (the
    // first that decodes wins). Loose files are listed when they exist;
    // whether they are regular files and images is for the caller to find
    // out.
    std::vector<game_file> files;
    bool white;        // id Tech 4's built-in _white: plain white, when no file decodes
    std::string name;  // the name as a report of it not being found gives it
    bool never_drawn = false; bool two_sided = false; std::string declared_in;
};

// The name as the search takes it: backslashes become slashes.
std::string texture_key(const std::string& name);
// The texture that the model at model_path names. The rules of the Quake
// III family come first: when a shader of the name shows an image, only that
// image's files are listed. Then the name as the id Tech 4 games read it: a
// shader or material of that name, else the image of the name itself; such
// an image is also looked for as dds/<name>.dds. A name cut after the
// game's base folder is reported by its material name.
texture_lookup find_texture(const std::string& model_path, const std::string& name);
// An archive entry's bytes, when it holds at most `limit` bytes and reads
// back intact.
bool game_file_read(const game_file& file, size_t limit, std::string* bytes);
