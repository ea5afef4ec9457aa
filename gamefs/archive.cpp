#include "gamefs/archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>

static std::string lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

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

game_archive* archive_open(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return nullptr;
    }
    int error = 0;
    zip_t* zip = zip_fdopen(fd, ZIP_RDONLY, &error);
    if (zip == nullptr) {
        close(fd);
        return nullptr;
    }
    auto* archive = new game_archive{path, zip, {}};
    zip_int64_t count = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < count; i++) {
        const char* name = zip_get_name(zip, (zip_uint64_t)i, ZIP_FL_ENC_GUESS);
        if (name != nullptr && inside_tree(name))
            archive->entries.emplace(lower(name), (uint64_t)i);
    }
    return archive;
}

void archive_close(game_archive* archive)
{
    if (archive == nullptr)
        return;
    zip_discard(archive->archive);
    delete archive;
}

bool archive_find(const game_archive* archive, std::string_view name, uint64_t* entry)
{
    auto found = archive->entries.find(lower(name));
    if (found == archive->entries.end())
        return false;
    *entry = found->second;
    return true;
}

bool archive_read(game_archive* archive, uint64_t entry, size_t limit, std::string* bytes)
{
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive->archive, entry, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) ||
        stat.size > limit)
        return false;
    zip_file_t* file = zip_fopen_index(archive->archive, entry, 0);
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

std::vector<std::string> archive_list(const game_archive* archive, std::string_view folder,
                                      std::string_view suffix)
{
    std::string lower_folder = lower(folder), lower_suffix = lower(suffix);
    std::vector<std::string> names;
    for (const auto& [name, entry] : archive->entries)
        if (name.starts_with(lower_folder) && name.ends_with(lower_suffix) &&
            name.find('/', lower_folder.size()) == name.npos)
            names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}
