// Texture names as artists' tools write them, looked for where the level
// editors of the Quake III family look, then as the id Tech 4 games read
// them: material names declared in materials/*.mtr.
#include "gamefs/gamefs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unordered_map>

#include "gamefs/archive.h"
#include "gamefs/folders.h"
#include "gamefs/material.h"
#include "gamefs/shader_script.h"

namespace fs = std::filesystem;

// The images the model view reads, in the order their extensions are tried.
static const std::string image_extensions[] = {".tga", ".png", ".jpg", ".jpeg", ".webp"};


// A package of a game folder: a pk3, dpk or pk4 archive, or a dpkdir or
// pk4dir folder that stands for one unpacked.
struct archive_closer {
    void operator()(game_archive* archive) const { archive_close(archive); }
};
struct game_package {
    std::string path;
    std::unique_ptr<game_archive, archive_closer> archive;  // null for a dpkdir folder
};

// A folder that game-relative names are looked for in: its loose files, then
// its packages, the one whose name sorts last first, as the games let later
// packages override earlier ones.
struct game_root {
    std::string folder;
    const std::vector<game_package>* packages;
};

// Each folder's packages, opened and indexed once per run.
static std::unordered_map<std::string, std::vector<game_package>> packages_by_folder;
// Shader names and material names and the images they show, in any letter
// case, the first definition in search order winning; built once for the
// roots named by shader_roots. Their texts are kept in blocks: a game's
// scripts are megabytes, of which these are a small part.
using image_index = std::unordered_map<std::string_view, std::string_view, folded_hash, folded_equal>;
static image_index shader_images, material_images;
static std::vector<std::unique_ptr<char[]>> shader_texts;
static size_t shader_text_used = 0, shader_text_size = 0;
static std::string shader_roots;
constexpr size_t shader_text_block = 1 << 16;

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

// The file name without its extension when that is an image's.
static std::string image_stem(const std::string& file)
{
    std::string extension = fs::path(file).extension().string();
    bool image = std::find(std::begin(image_extensions), std::end(image_extensions),
                           fold_case(extension)) != std::end(image_extensions);
    return image ? file.substr(0, file.size() - extension.size()) : file;
}

// The name as given when it has an extension, then each image extension in
// place of its own image extension or after any other.
static std::vector<std::string> file_names(const std::string& file)
{
    std::vector<std::string> names;
    if (fs::path(file).has_extension())
        names.push_back(file);
    std::string stem = image_stem(file);
    for (const std::string& image_extension : image_extensions)
        add_once(names, stem + image_extension);
    return names;
}

static void add_file(std::vector<game_file>& found, const game_file& file)
{
    for (const game_file& known : found)
        if (known.path == file.path && known.entry_name == file.entry_name)
            return;
    found.push_back(file);
}

// The folder below `folder` that the path of folder names means, every
// component matched in its folder's listing; empty when there is none.
static std::string subfolder(fs::path folder, const std::vector<std::string>& folders)
{
    for (const std::string& part : folders) {
        std::string entry = folder_entry(folder.string(), part);
        if (entry.empty())
            return {};
        folder /= entry;
    }
    return folder.string();
}

// Adds the loose files found at folder/folders/name for each of names.
static void add_loose(std::vector<game_file>& found, const std::string& folder,
                      const std::vector<std::string>& folders, const std::vector<std::string>& names)
{
    std::string place = subfolder(folder, folders);
    if (place.empty())
        return;
    for (const std::string& name : names) {
        std::string entry = folder_entry(place, name);
        if (!entry.empty())
            add_file(found, {(fs::path(place) / entry).string(), nullptr, 0, {}});
    }
}

static std::string joined(const std::vector<std::string>& folders, const std::string& name)
{
    std::string path;
    for (const std::string& folder : folders)
        path += folder + '/';
    return path + name;
}

static void add_in_root(std::vector<game_file>& found, const game_root& root,
                        const std::vector<std::string>& folders, const std::vector<std::string>& names)
{
    add_loose(found, root.folder, folders, names);
    for (const game_package& package : *root.packages) {
        if (package.archive == nullptr) {
            add_loose(found, package.path, folders, names);
            continue;
        }
        for (const std::string& name : names) {
            uint64_t entry;
            std::string path = joined(folders, name);
            if (archive_find(package.archive.get(), path, &entry))
                add_file(found, {package.path, package.archive.get(), entry, fold_case(path)});
        }
    }
}

static const std::vector<game_package>& packages_of(const std::string& folder)
{
    auto known = packages_by_folder.find(folder);
    if (known != packages_by_folder.end())
        return known->second;
    std::vector<game_package> packages;
    for (const std::string& name : folder_names(folder)) {
        std::string folded = fold_case(name), path = (fs::path(folder) / name).string();
        std::error_code error;
        if (folded.ends_with(".pk3") || folded.ends_with(".dpk") || folded.ends_with(".pk4")) {
            if (game_archive* archive = archive_open(path))
                packages.push_back({path, std::unique_ptr<game_archive, archive_closer>(archive)});
        } else if ((folded.ends_with(".dpkdir") || folded.ends_with(".pk4dir")) &&
                   fs::is_directory(path, error)) {
            packages.push_back({path, nullptr});
        }
    }
    std::sort(packages.begin(), packages.end(), [](const game_package& a, const game_package& b) {
        return fold_case(fs::path(a.path).filename().string()) >
               fold_case(fs::path(b.path).filename().string());
    });
    return packages_by_folder.emplace(folder, std::move(packages)).first->second;
}

// The model's folder and every folder above it, lexically, so that a loop of
// symbolic links cannot keep the walk from the root; then the folders of
// ASEVIEW_GAME_PATH.
static std::vector<game_root> game_roots(const fs::path& model_folder)
{
    std::vector<fs::path> folders;
    for (fs::path place = model_folder;; place = place.parent_path()) {
        folders.push_back(place);
        if (place == place.parent_path())
            break;
    }
    const char* game_path = getenv("ASEVIEW_GAME_PATH");
    std::string list = game_path ? game_path : "";
    for (size_t start = 0; start < list.size();) {
        size_t end = std::min(list.find(':', start), list.size());
        std::error_code error;
        fs::path folder = fs::absolute(list.substr(start, end - start), error).lexically_normal();
        if (end > start && !error)
            folders.push_back(folder.has_filename() ? folder : folder.parent_path());
        start = end + 1;
    }
    std::vector<game_root> roots;
    for (const fs::path& folder : folders)
        roots.push_back({folder.string(), &packages_of(folder.string())});
    return roots;
}

// A regular file whole, if it holds at most `limit` bytes; never blocks on a
// FIFO or reads a device.
static bool read_regular_file(const std::string& path, size_t limit, std::string* bytes)
{
    int fd = open_regular_file(path);
    if (fd < 0)
        return false;
    struct stat info;
    bool ok = fstat(fd, &info) == 0 && (size_t)info.st_size <= limit;
    if (ok) {
        bytes->resize((size_t)info.st_size);
        size_t total = 0;
        ssize_t n = 1;
        while (total < bytes->size() && (n = read(fd, bytes->data() + total, bytes->size() - total)) > 0)
            total += (size_t)n;
        bytes->resize(total);
        ok = n >= 0;
    }
    close(fd);
    return ok;
}

// A copy of the text that lives as long as the index.
static std::string_view kept(std::string_view text)
{
    if (shader_text_used + text.size() > shader_text_size) {
        shader_text_size = std::max(text.size(), shader_text_block);
        shader_texts.emplace_back(new char[shader_text_size]);
        shader_text_used = 0;
    }
    char* at = shader_texts.back().get() + shader_text_used;
    std::copy(text.begin(), text.end(), at);
    shader_text_used += text.size();
    return {at, text.size()};
}

static void index_image(image_index& index, std::string_view name, std::string_view image)
{
    if (!index.contains(name))
        index.emplace(kept(name), kept(image));
}

static void index_shader_script(const std::string& text)
{
    std::vector<shader_image> shaders;
    parse_shader_script(text, &shaders);
    for (const shader_image& shader : shaders)
        index_image(shader_images, shader.shader, shader.image);
}

static void index_material_file(const std::string& text)
{
    std::vector<material_image> materials;
    parse_materials(text, &materials);
    for (const material_image& material : materials)
        index_image(material_images, material.material, material.image);
}

// The files of a folder's subfolder whose names end in the suffix, in the
// order of their names.
static void index_loose(const std::string& folder, const std::string& below, const std::string& suffix,
                        void (*index)(const std::string&))
{
    std::string scripts = subfolder(folder, {below});
    if (scripts.empty())
        return;
    std::vector<std::string> names = folder_names(scripts);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return fold_case(a) < fold_case(b); });
    std::string text;
    for (const std::string& name : names)
        if (fold_case(name).ends_with(suffix) &&
            read_regular_file((fs::path(scripts) / name).string(), shader_script_limit, &text))
            index(text);
}

static void index_loose_scripts(const std::string& folder)
{
    index_loose(folder, "scripts", ".shader", index_shader_script);
    index_loose(folder, "materials", ".mtr", index_material_file);
}

// Every root's shader scripts and materials in search order, read once
// however many textures are looked for.
static void index_shaders(const std::vector<game_root>& roots)
{
    std::string key;
    for (const game_root& root : roots)
        key += root.folder + '\0';
    if (key == shader_roots)
        return;
    shader_roots = key;
    shader_images.clear();
    material_images.clear();
    shader_texts.clear();
    shader_text_used = shader_text_size = 0;
    std::string text;
    for (const game_root& root : roots) {
        index_loose_scripts(root.folder);
        for (const game_package& package : *root.packages) {
            if (package.archive == nullptr) {
                index_loose_scripts(package.path);
                continue;
            }
            for (const std::string& script : package.archive->shader_scripts)
                index_shader_script(script);
            for (const std::string& materials : package.archive->material_files)
                index_material_file(materials);
        }
    }
}

// The image of the shader that the name means: the shader of the whole name,
// else of the name without its extension, in any letter case.
static const std::string_view* shader_image_of(const TextureName& parsed)
{
    std::vector<std::string> folders;
    if (!parsed.game_path.empty())
        folders.assign(parsed.game_path.begin(), parsed.game_path.end() - 1);
    std::string name = joined(folders, parsed.file);
    auto found = shader_images.find(name);
    size_t dot = name.rfind('.');
    if (found == shader_images.end() && dot != std::string::npos && name.find('/', dot) == std::string::npos)
        found = shader_images.find(std::string_view(name).substr(0, dot));
    return found == shader_images.end() ? nullptr : &found->second;
}

static std::vector<game_file> candidates(const TextureName& parsed, const std::vector<game_root>& roots,
                                         const fs::path& model_folder)
{
    std::vector<game_file> found;
    std::vector<std::string> names = file_names(parsed.file);
    if (!parsed.game_path.empty()) {
        std::vector<std::string> folders(parsed.game_path.begin(), parsed.game_path.end() - 1);
        for (const game_root& root : roots)
            add_in_root(found, root, folders, names);
    }
    add_loose(found, model_folder.string(), {}, names);
    return found;
}

// The name as the id Tech 4 games read it: a material name, the part after
// the game's base folder ("base", "q4base") when the name has one, in lower
// case, without its extension. Empty when it climbs, holds a NUL or is
// absolute without a base folder: no game names such a file.
static std::string material_name(const std::string& name, bool* cut)
{
    std::string key = texture_key(name);
    std::vector<std::string> parts = components(key);
    if (parts.empty() || std::find(parts.begin(), parts.end(), "..") != parts.end() ||
        key.find('\0') != std::string::npos)
        return {};
    auto base = std::find_if(parts.begin(), parts.end() - 1,
                             [](const std::string& part) { return fold_case(part).ends_with("base"); });
    *cut = base != parts.end() - 1;
    // An absolute name without a base folder is some artist's own disk.
    if (!*cut && (key.starts_with('/') || starts_with_drive(key)))
        return {};
    std::vector<std::string> folders(*cut ? base + 1 : parts.begin(), parts.end() - 1);
    std::string material = fold_case(joined(folders, parts.back()));
    size_t dot = material.rfind('.');
    if (dot != std::string::npos && material.find('/', dot) == std::string::npos)
        material.resize(dot);
    return material;
}

static std::string without_tga(std::string image)
{
    for (size_t at; (at = fold_case(image).find(".tga")) != std::string::npos;)
        image.erase(at, 4);
    return image;
}

// An id Tech 4 image, a path below the game folders: without ".tga", as
// written or with each image extension, then its precompressed mirror
// dds/<path>.dds.
static void add_id_tech4_image(std::vector<game_file>& found, std::string_view image,
                               const std::vector<game_root>& roots)
{
    std::vector<std::string> parts = components(without_tga(texture_key(std::string(image))));
    if (parts.empty() || std::find(parts.begin(), parts.end(), "..") != parts.end())
        return;
    std::vector<std::string> folders(parts.begin(), parts.end() - 1);
    for (const game_root& root : roots)
        add_in_root(found, root, folders, file_names(parts.back()));
    folders.insert(folders.begin(), "dds");
    for (const game_root& root : roots)
        add_in_root(found, root, folders, {image_stem(parts.back()) + ".dds"});
}

// The id Tech 4 reading, after the Quake III family's: a shader of the
// material's name, else the image its declaration shows, else the image of
// its name, as the engines' implicit material.
static void add_material(texture_lookup& lookup, const std::string& material,
                         const std::vector<game_root>& roots, const fs::path& model_folder)
{
    if (material.empty())
        return;
    if (auto shader = shader_images.find(material); shader != shader_images.end()) {
        TextureName shown = parse_name(std::string(shader->second));
        if (!shown.file.empty())
            for (const game_file& file : candidates(shown, roots, model_folder))
                add_file(lookup.files, file);
        return;
    }
    auto declared = material_images.find(material);
    std::string_view image = declared != material_images.end() ? declared->second : material;
    // The engines' built-in images: only plain white has a look of its own here.
    if (image.starts_with('_'))
        lookup.white = fold_case(std::string(image)) == "_white";
    else
        add_id_tech4_image(lookup.files, image, roots);
}

texture_lookup find_texture(const std::string& model_path, const std::string& name)
{
    texture_lookup lookup{};
    lookup.name = texture_key(name);
    bool cut = false;
    std::string material = material_name(name, &cut);
    if (cut)
        lookup.name = material;
    std::error_code error;
    fs::path model = fs::absolute(model_path, error).lexically_normal();
    TextureName parsed = parse_name(name);
    // A NUL would cut the model's path short at the system's door: another folder.
    if (error || model_path.find('\0') != std::string::npos || parsed.file.empty())
        return lookup;
    fs::path model_folder = model.parent_path();
    std::vector<game_root> roots = game_roots(model_folder);
    index_shaders(roots);
    // A shader decides what its name shows, even when its image is not there.
    if (const std::string_view* image = shader_image_of(parsed)) {
        TextureName shown = parse_name(std::string(*image));
        if (!shown.file.empty())
            lookup.files = candidates(shown, roots, model_folder);
        return lookup;
    }
    lookup.files = candidates(parsed, roots, model_folder);
    add_material(lookup, material, roots, model_folder);
    return lookup;
}

bool game_file_read(const game_file& file, size_t limit, std::string* bytes)
{
    return file.archive != nullptr && archive_read(file.archive, file.entry, limit, bytes);
}
