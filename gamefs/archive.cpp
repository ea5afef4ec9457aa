#include "gamefs/archive.h"

#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cstdlib>

// Whether a stored name stands for a file inside the tree: no folder, no
// absolute path, no step up.
static bool inside_tree(std::string_view name)
{
    if (name.empty() || name.front() == '/' || name.back() == '/' || name.find('\0') != name.npos)
        return false;
    size_t at = 0;
    while (at <= name.size()) {
        size_t end = std::min(name.find('/', at), name.size());
        if (name.substr(at, end - at) == "..")
            return false;
        at = end + 1;
    }
    return true;
}

static zip_t* open_zip(const std::string& path)
{
    // libzip turns every entry's time into a time_t through mktime, which
    // reads the time zone file again each time unless TZ names one: 20,000
    // entries cost a sixth of a second. The zone itself stays the same.
    setenv("TZ", ":/etc/localtime", 0);
    int fd = open_regular_file(path);
    if (fd < 0)
        return nullptr;
    int error = 0;
    zip_t* zip = zip_fdopen(fd, ZIP_RDONLY, &error);
    if (zip == nullptr)
        close(fd);
    return zip;
}

// The entry read whole from the open archive.
static bool read_entry(zip_t* zip, uint64_t entry, size_t limit, std::string* bytes)
{
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(zip, entry, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) || stat.size > limit)
        return false;
    zip_file_t* file = zip_fopen_index(zip, entry, 0);
    if (file == nullptr)
        return false;
    // Read one byte past the size it claims: a stream that goes on lies.
    bytes->resize((size_t)stat.size + 1);
    zip_int64_t total = 0, n = 0;
    while (total < (zip_int64_t)bytes->size() &&
           (n = zip_fread(file, bytes->data() + total, bytes->size() - (size_t)total)) > 0)
        total += n;
    zip_fclose(file);
    if (n < 0 || total != (zip_int64_t)stat.size)
        return false;
    bytes->resize((size_t)total);
    return true;
}

// The entries directly in scripts/ whose names end in .shader, in any
// letter case, in the order of their names in lower case.
static std::vector<uint64_t> shader_script_entries(const game_archive* archive)
{
    const std::string_view folder = "scripts/", suffix = ".shader";
    folded_equal same;
    std::vector<std::pair<std::string, uint64_t>> found;
    for (const auto& [name, entry] : archive->entries)
        if (name.size() > folder.size() + suffix.size() && same(name.substr(0, folder.size()), folder) &&
            same(name.substr(name.size() - suffix.size()), suffix) &&
            name.find('/', folder.size()) == name.npos)
            found.emplace_back(fold_case(std::string(name)), entry);
    std::sort(found.begin(), found.end());
    std::vector<uint64_t> entries;
    for (const auto& item : found)
        entries.push_back(item.second);
    return entries;
}

game_archive* archive_open(const std::string& path)
{
    zip_t* zip = open_zip(path);
    if (zip == nullptr)
        return nullptr;
    auto* archive = new game_archive{path, {}, {}, {}};
    std::vector<std::pair<size_t, uint64_t>> kept;  // where each name starts in `names`
    zip_int64_t count = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < count; i++) {
        const char* name = zip_get_name(zip, (zip_uint64_t)i, ZIP_FL_ENC_RAW);
        if (name != nullptr && inside_tree(name)) {
            kept.emplace_back(archive->names.size(), (uint64_t)i);
            archive->names.append(name);
        }
    }
    archive->entries.reserve(kept.size());
    for (size_t k = 0; k < kept.size(); k++) {
        size_t end = k + 1 < kept.size() ? kept[k + 1].first : archive->names.size();
        archive->entries.emplace(std::string_view(archive->names).substr(kept[k].first, end - kept[k].first),
                                 kept[k].second);
    }
    std::string text;
    for (uint64_t entry : shader_script_entries(archive))
        if (read_entry(zip, entry, shader_script_limit, &text))
            archive->shader_scripts.push_back(std::move(text));
    zip_discard(zip);
    return archive;
}

void archive_close(game_archive* archive)
{
    delete archive;
}

bool archive_find(const game_archive* archive, std::string_view name, uint64_t* entry)
{
    auto found = archive->entries.find(name);
    if (found == archive->entries.end())
        return false;
    *entry = found->second;
    return true;
}

bool archive_read(const game_archive* archive, uint64_t entry, size_t limit, std::string* bytes)
{
    zip_t* zip = open_zip(archive->path);
    if (zip == nullptr)
        return false;
    bool read = read_entry(zip, entry, limit, bytes);
    zip_discard(zip);
    return read;
}
