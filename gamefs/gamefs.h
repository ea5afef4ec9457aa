// Where a model's textures are, found as the level editors of the Quake III
// family find them: names relative to the game's folder, looked for in the
// model's folder, every folder above it and the folders of
// ASEVIEW_GAME_PATH; in each, loose files first, then its pk3 and dpk
// archives and dpkdir folders; a shader script's image before a file of the
// shader's name; extensions and letter case forgiven.
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

// The name as the search takes it: backslashes become slashes.
std::string texture_key(const std::string& name);
// The files that may hold the texture that the model at model_path names,
// in the order they are to be tried (the first that decodes wins). Loose
// files are listed when they exist; whether they are regular files and
// images is for the caller to find out. When a shader of the name shows an
// image, only that image's files are listed.
std::vector<game_file> texture_candidates(const std::string& model_path, const std::string& name);
// An archive entry's bytes, when it holds at most `limit` bytes and reads
// back intact.
bool game_file_read(const game_file& file, size_t limit, std::string* bytes);
