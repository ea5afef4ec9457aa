#include "gamefs/package.h"

#include <algorithm>
#include <filesystem>

#include "gamefs/archive.h"

namespace fs = std::filesystem;

std::string subfolder(folder_listings& listings, const std::string& folder, const std::vector<std::string>& folders)
{
    fs::path place = folder;
    for (const std::string& part : folders) {
        std::string entry = folder_entry(listings, place.string(), part);
        if (entry.empty())
            return {};
        place /= entry;
    }
    return place.string();
}

namespace {

class folder_kind : public game_package {
public:
    folder_kind(const std::string& folder, folder_listings* listings) : folder_(folder), listings_(listings) {}

    bool find(const std::vector<std::string>& folders, const std::string& name, game_file* file) const override
    {
        std::string place = subfolder(*listings_, folder_, folders);
        std::string entry = place.empty() ? std::string() : folder_entry(*listings_, place, name);
        if (entry.empty())
            return false;
        *file = {(fs::path(place) / entry).string(), {}, this, 0};
        return true;
    }

    std::vector<listed_file> list(const std::string& folder, const std::string& suffix) const override
    {
        std::vector<listed_file> files;
        std::string place = subfolder(*listings_, folder_, {folder});
        if (place.empty())
            return files;
        // The listing is in the order of names in lower case already.
        for (const std::string& name : folder_names(*listings_, place)) {
            std::string path = (fs::path(place) / name).string();
            std::error_code error;
            if (!fold_case(name).ends_with(suffix) || !fs::is_regular_file(path, error))
                continue;
            uint64_t size = fs::file_size(path, error);
            if (!error)
                files.push_back({{path, {}, this, 0}, size});
        }
        return files;
    }

    bool read(const game_file& file, size_t limit, std::string* bytes, std::string* why) const override
    {
        return read_regular_file(file.path, limit, bytes, why);
    }

private:
    std::string folder_;
    folder_listings* listings_;
};

class zip_kind : public game_package {
public:
    explicit zip_kind(game_archive* archive) : archive_(archive) {}
    ~zip_kind() override { archive_close(archive_); }
    zip_kind(const zip_kind&) = delete;
    zip_kind& operator=(const zip_kind&) = delete;

    bool find(const std::vector<std::string>& folders, const std::string& name, game_file* file) const override
    {
        std::string path;
        for (const std::string& folder : folders)
            path += folder + '/';
        path += name;
        uint64_t entry;
        if (!archive_find(archive_, path, &entry))
            return false;
        *file = {archive_->path, fold_case(path), this, entry};
        return true;
    }

    std::vector<listed_file> list(const std::string& folder, const std::string& suffix) const override
    {
        std::string prefix = folder + '/';
        std::vector<listed_file> files;
        folded_equal same;
        for (const auto& [name, entry] : archive_->entries)
            if (name.size() > prefix.size() + suffix.size() && same(name.substr(0, prefix.size()), prefix) &&
                same(name.substr(name.size() - suffix.size()), suffix) &&
                name.find('/', prefix.size()) == std::string::npos)
                files.push_back({{archive_->path, fold_case(std::string(name)), this, entry},
                                 archive_->records[entry].size});
        std::sort(files.begin(), files.end(), [](const listed_file& a, const listed_file& b) {
            return a.file.entry_name < b.file.entry_name;
        });
        return files;
    }

    bool read(const game_file& file, size_t limit, std::string* bytes, std::string* why) const override
    {
        return archive_read(archive_, file.entry, limit, bytes, why);
    }

private:
    game_archive* archive_;
};

}  // namespace

std::unique_ptr<game_package> folder_package(const std::string& folder, folder_listings* listings)
{
    return std::make_unique<folder_kind>(folder, listings);
}

std::unique_ptr<game_package> zip_package(const std::string& path)
{
    game_archive* archive = archive_open(path);
    return archive ? std::make_unique<zip_kind>(archive) : nullptr;
}
