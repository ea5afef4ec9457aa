// Texture names as artists' tools write them, looked for where the level
// editors of the Quake III family look.
#include "gamefs/gamefs.h"

#include <algorithm>
#include <filesystem>

#include "gamefs/folders.h"

namespace fs = std::filesystem;

// The images the model view reads, in the order their extensions are tried.
static const std::string image_extensions[] = {".tga", ".png", ".jpg", ".jpeg"};

// What a name asks for: a path below some game folder (none when the name is
// only looked for beside the model), and the file name to fall back on.
struct TextureName {
    std::vector<std::string> game_path;
    std::string file;
};

std::string texture_key(const std::string& name)
{
    std::string key = name;
    std::replace(key.begin(), key.end(), '\\', '/');
    return key;
}

static bool starts_with_drive(const std::string& key)
{
    char letter = char(key.empty() ? 0 : key[0] | 0x20);
    return key.size() >= 2 && key[1] == ':' && letter >= 'a' && letter <= 'z';
}

// Empty and "." components name no folder of their own.
static std::vector<std::string> components(const std::string& path)
{
    std::vector<std::string> parts;
    for (size_t start = 0; start <= path.size();) {
        size_t end = std::min(path.find('/', start), path.size());
        std::string part = path.substr(start, end - start);
        if (!part.empty() && part != ".")
            parts.push_back(part);
        start = end + 1;
    }
    return parts;
}

static bool is_game_root(const std::string& part)
{
    std::string folded = fold_case(part);
    return folded == "models" || folded == "textures";
}

// An absolute or climbing name is some artist's own disk: only its part from
// its first models or textures folder on means something here. A ".."
// left in a game path is no folder's entry, so it never climbs out.
static TextureName parse_name(const std::string& name)
{
    std::string key = texture_key(name);
    bool drive = starts_with_drive(key);
    std::vector<std::string> parts = components(drive ? key.substr(2) : key);
    TextureName parsed;
    if (parts.empty())
        return parsed;
    parsed.file = parts.back();
    bool climbs = std::find(parts.begin(), parts.end(), "..") != parts.end();
    if (drive || key.starts_with('/') || climbs)
        parsed.game_path.assign(std::find_if(parts.begin(), parts.end(), is_game_root),
                                parts.end());
    else if (key.find('/') != std::string::npos)
        parsed.game_path = parts;
    return parsed;
}

static void add_once(std::vector<std::string>& list, const std::string& item)
{
    if (std::find(list.begin(), list.end(), item) == list.end())
        list.push_back(item);
}

// The name as given when it has an extension, then each image extension in
// place of its own image extension or after any other.
static std::vector<std::string> file_names(const std::string& file)
{
    std::vector<std::string> names;
    std::string extension = fs::path(file).extension().string();
    if (!extension.empty())
        names.push_back(file);
    bool image = std::find(std::begin(image_extensions), std::end(image_extensions),
                           fold_case(extension)) != std::end(image_extensions);
    std::string stem = image ? file.substr(0, file.size() - extension.size()) : file;
    for (const std::string& image_extension : image_extensions)
        add_once(names, stem + image_extension);
    return names;
}

// Adds the files found at folder/folders/name for each of names, every
// component matched in its folder's listing.
static void add_found(std::vector<std::string>& found, fs::path folder,
                      const std::vector<std::string>& folders,
                      const std::vector<std::string>& names)
{
    for (const std::string& part : folders) {
        std::string entry = folder_entry(folder.string(), part);
        if (entry.empty())
            return;
        folder /= entry;
    }
    for (const std::string& name : names) {
        std::string entry = folder_entry(folder.string(), name);
        if (!entry.empty())
            add_once(found, (folder / entry).string());
    }
}

std::vector<std::string> texture_candidates(const std::string& model_path, const std::string& name)
{
    std::vector<std::string> found;
    std::error_code error;
    fs::path model = fs::absolute(model_path, error).lexically_normal();
    TextureName parsed = parse_name(name);
    // A NUL would cut the model's path short at the system's door: another folder.
    if (error || model_path.find('\0') != std::string::npos || parsed.file.empty())
        return found;
    std::vector<std::string> names = file_names(parsed.file);
    fs::path model_folder = model.parent_path();
    if (!parsed.game_path.empty()) {
        std::vector<std::string> folders(parsed.game_path.begin(), parsed.game_path.end() - 1);
        // Lexical, so a loop of symbolic links cannot keep the walk from the root.
        for (fs::path place = model_folder;; place = place.parent_path()) {
            add_found(found, place, folders, names);
            if (place == place.parent_path())
                break;
        }
    }
    add_found(found, model_folder, {}, names);
    return found;
}
