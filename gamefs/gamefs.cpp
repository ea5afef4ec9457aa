// Texture names as artists' tools write them, looked for where the level
// editors of the Quake III family look, then as the id Tech 4 games read
// them: material names declared in materials/*.mtr.
#include "gamefs/gamefs.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

// The images the model view reads, in the order their extensions are tried.
static const std::string image_extensions[] = {".tga", ".png", ".jpg", ".jpeg", ".webp"};

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

static std::string joined(const std::vector<std::string>& folders, const std::string& name)
{
    std::string path;
    for (const std::string& folder : folders)
        path += folder + '/';
    return path + name;
}

// Adds the files found at folders/name for each of names in the package.
static void add_in(std::vector<game_file>& found, const game_package& package,
                   const std::vector<std::string>& folders, const std::vector<std::string>& names)
{
    game_file file;
    for (const std::string& name : names)
        if (package.find(folders, name, &file))
            add_file(found, file);
}

static void add_in_tree(std::vector<game_file>& found, const game_fs& tree,
                        const std::vector<std::string>& folders, const std::vector<std::string>& names)
{
    for (const auto& package : tree.packages)
        add_in(found, *package, folders, names);
}

// What the folders' names tell of the game, for its rules.
struct GameSigns {
    bool dark_mod = false, pk4 = false, pk3 = false;
};

// The folder's own loose files, then its packages, the one whose name
// sorts last first.
static void add_folder(game_fs& tree, const std::string& folder, GameSigns* signs)
{
    tree.packages.push_back(folder_package(folder, &tree.listings));
    std::vector<std::pair<std::string, std::unique_ptr<game_package>>> packages;
    for (const std::string& name : folder_names(tree.listings, folder)) {
        std::string folded = fold_case(name), path = (fs::path(folder) / name).string();
        std::error_code error;
        std::unique_ptr<game_package> package;
        signs->dark_mod |= folded == "darkmod.txt" || (folded.starts_with("tdm_") && folded.ends_with(".pk4"));
        signs->pk4 |= folded.ends_with(".pk4");
        signs->pk3 |= folded.ends_with(".pk3") || folded.ends_with(".dpk");
        if (folded.ends_with(".pk3") || folded.ends_with(".dpk") || folded.ends_with(".pk4"))
            package = zip_package(path);
        else if ((folded.ends_with(".dpkdir") || folded.ends_with(".pk4dir")) && fs::is_directory(path, error))
            package = folder_package(path, &tree.listings);
        if (package)
            packages.emplace_back(folded, std::move(package));
    }
    std::stable_sort(packages.begin(), packages.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (auto& package : packages)
        tree.packages.push_back(std::move(package.second));
}

// The model's folder and every folder above it, lexically, so that a loop of
// symbolic links cannot keep the walk from the root; then the folders of
// ASEVIEW_GAME_PATH. A folder named twice is searched once.
static std::vector<std::string> game_folders(const fs::path& model_folder)
{
    std::vector<std::string> folders;
    auto add = [&folders](const fs::path& folder) {
        if (std::find(folders.begin(), folders.end(), folder.string()) == folders.end())
            folders.push_back(folder.string());
    };
    for (fs::path place = model_folder;; place = place.parent_path()) {
        add(place);
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
            add(folder.has_filename() ? folder : folder.parent_path());
        start = end + 1;
    }
    return folders;
}

std::unique_ptr<game_fs> game_fs_open(const std::string& model_path)
{
    auto tree = std::make_unique<game_fs>();
    std::error_code error;
    fs::path model = fs::absolute(model_path, error).lexically_normal();
    // A NUL would cut the model's path short at the system's door: another folder.
    if (error || model_path.find('\0') != std::string::npos)
        return tree;
    GameSigns signs;
    for (const std::string& folder : game_folders(model.parent_path()))
        add_folder(*tree, folder, &signs);
    index_scripts(&tree->scripts, tree->packages);
    const script_index& scripts = tree->scripts;
    tree->rules = signs.dark_mod                                                         ? material_rules::dark_mod
                  : signs.pk4 || !scripts.materials.empty() || !scripts.tables.empty() ? material_rules::id_tech4
                  : signs.pk3 || !scripts.shaders.empty()                               ? material_rules::quake3
                                                                                        : material_rules::id_tech4;
    return tree;
}

// The image of the shader that the name means: the shader of the whole name,
// else of the name without its extension, in any letter case.
static const script_declaration* shader_of(const game_fs& tree, const TextureName& parsed)
{
    const script_index::table& shaders = tree.scripts.shaders;
    std::vector<std::string> folders;
    if (!parsed.game_path.empty())
        folders.assign(parsed.game_path.begin(), parsed.game_path.end() - 1);
    std::string name = joined(folders, parsed.file);
    auto found = shaders.find(name);
    size_t dot = name.rfind('.');
    if (found == shaders.end() && dot != std::string::npos && name.find('/', dot) == std::string::npos)
        found = shaders.find(std::string_view(name).substr(0, dot));
    return found == shaders.end() ? nullptr : &found->second;
}

// The files of a game path in every package, then the file beside the model.
static std::vector<game_file> candidates(const game_fs& tree, const TextureName& parsed)
{
    std::vector<game_file> found;
    std::vector<std::string> names = file_names(parsed.file);
    if (!parsed.game_path.empty())
        add_in_tree(found, tree, {parsed.game_path.begin(), parsed.game_path.end() - 1}, names);
    add_in(found, *tree.packages.front(), {}, names);
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

// Every ".tga" in any letter case taken out, and those the taking brings
// together, in one pass: a name may repeat it a million times.
static std::string without_tga(const std::string& image)
{
    std::string kept;
    for (char c : image) {
        kept += c;
        size_t n = kept.size();
        if (n >= 4 && kept[n - 4] == '.' && (kept[n - 3] | 0x20) == 't' && (kept[n - 2] | 0x20) == 'g' &&
            (kept[n - 1] | 0x20) == 'a')
            kept.resize(n - 4);
    }
    return kept;
}

// An id Tech 4 image, a path below the game folders: without ".tga", as
// written or with each image extension, then its precompressed mirror
// dds/<path>.dds.
static void add_id_tech4_image(std::vector<game_file>& found, std::string_view image, const game_fs& tree)
{
    std::vector<std::string> parts = components(without_tga(texture_key(std::string(image))));
    if (parts.empty() || std::find(parts.begin(), parts.end(), "..") != parts.end())
        return;
    std::vector<std::string> folders(parts.begin(), parts.end() - 1);
    add_in_tree(found, tree, folders, file_names(parts.back()));
    folders.insert(folders.begin(), "dds");
    add_in_tree(found, tree, folders, {image_stem(parts.back()) + ".dds"});
}

// The editor's surfaces of the common folder, which no game draws: what an
// undeclared name of them means.
static bool common_editor_surface(std::string_view material)
{
    constexpr std::string_view common = "textures/common/";
    static const std::string_view surfaces[] = {"caulk",   "nodraw",    "nodrawsolid", "collision", "shadow",
                                                "shadow2", "clip",      "visportal",   "areaportal", "hint",
                                                "skip",    "origin"};
    if (!material.starts_with(common))
        return false;
    std::string_view surface = material.substr(common.size());
    return surface.find('/') == surface.npos &&
           (std::find(std::begin(surfaces), std::end(surfaces), surface) != std::end(surfaces) ||
            surface.ends_with("_clip") || surface.starts_with("trigger"));
}

// How the game draws what the declaration decides, and where it was written.
static void take_declaration(texture_lookup& lookup, const script_declaration& declaration, bool shader)
{
    lookup.never_drawn = declaration.never_drawn;
    lookup.two_sided = declaration.two_sided;
    lookup.declared_in = declaration.declared_in;
    lookup.block = declaration.block;
    lookup.first_line = declaration.first_line;
    lookup.source = declaration.source;
    lookup.shader = shader;
}

// The id Tech 4 reading, after the Quake III family's: a shader of the
// material's name, else the image its declaration shows, else the image of
// its name, as the engines' implicit material.
static void add_material(texture_lookup& lookup, const std::string& material, const game_fs& tree)
{
    if (material.empty())
        return;
    if (auto shader = tree.scripts.shaders.find(material); shader != tree.scripts.shaders.end()) {
        take_declaration(lookup, shader->second, true);
        TextureName shown = parse_name(std::string(shader->second.image));
        if (!shown.file.empty())
            for (const game_file& file : candidates(tree, shown))
                add_file(lookup.files, file);
        return;
    }
    auto declared = tree.scripts.materials.find(material);
    std::string_view image = material;
    if (declared != tree.scripts.materials.end()) {
        take_declaration(lookup, declared->second, false);
        image = declared->second.image;
    } else {
        lookup.never_drawn = common_editor_surface(material);
    }
    // The engines' built-in images: only plain white has a look of its own here.
    if (image.starts_with('_'))
        lookup.white = fold_case(std::string(image)) == "_white";
    else
        add_id_tech4_image(lookup.files, image, tree);
}

texture_lookup game_fs_find_texture(game_fs& tree, const std::string& name)
{
    texture_lookup lookup;
    lookup.white = false;
    lookup.name = texture_key(name);
    bool cut = false;
    std::string material = material_name(name, &cut);
    if (cut)
        lookup.name = material;
    TextureName parsed = parse_name(name);
    if (tree.packages.empty() || parsed.file.empty())
        return lookup;
    // A shader decides what its name shows, even when its image is not there.
    if (const script_declaration* shader = shader_of(tree, parsed)) {
        take_declaration(lookup, *shader, true);
        TextureName shown = parse_name(std::string(shader->image));
        if (!shown.file.empty())
            lookup.files = candidates(tree, shown);
        // A shader of no image but $whiteimage or $lightmap stages: the
        // image of its name as the editors show it, else the game's white.
        if (shown.file.empty() && !lookup.never_drawn) {
            lookup.files = candidates(tree, parsed);
            lookup.white = true;
        }
        return lookup;
    }
    lookup.files = candidates(tree, parsed);
    add_material(lookup, material, tree);
    return lookup;
}

texture_lookup game_fs_find_image(game_fs& tree, const std::string& name)
{
    texture_lookup lookup;
    lookup.white = false;
    lookup.name = texture_key(name);
    TextureName parsed = parse_name(name);
    if (tree.packages.empty() || parsed.file.empty())
        return lookup;
    lookup.files = candidates(tree, parsed);
    if (tree.rules != material_rules::quake3) {
        bool cut = false;
        add_id_tech4_image(lookup.files, material_name(name, &cut), tree);
    }
    return lookup;
}

game_material game_fs_material(const game_fs& tree, const texture_lookup& lookup)
{
    if (lookup.block.empty())
        return implicit_material(lookup.name, tree.rules);
    if (lookup.shader)
        return read_quake3_shader(lookup.name, lookup.block, lookup.first_line);
    return read_id_tech4_material(lookup.name, lookup.block, lookup.first_line, tree.rules, tree.scripts.tables);
}

bool game_fs_read(const game_fs&, const game_file& file, size_t limit, std::string* bytes, std::string* why)
{
    if (file.package != nullptr)
        return file.package->read(file, limit, bytes, why);
    if (why != nullptr)
        *why = "no file of the tree";
    return false;
}
