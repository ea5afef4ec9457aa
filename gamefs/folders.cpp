#include "gamefs/folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

// Sorted by folded name, then by name, so that a folded name's first entry
// is its first in byte order and an exact match lies among its neighbours.
using Listing = std::vector<folder_entry_name>;

static char fold_char(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

size_t folded_hash::operator()(std::string_view name) const
{
    size_t hash = 14695981039346656037u;  // FNV-1a
    for (char c : name)
        hash = (hash ^ (unsigned char)fold_char(c)) * 1099511628211u;
    return hash;
}

bool folded_equal::operator()(std::string_view a, std::string_view b) const
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return fold_char(x) == fold_char(y); });
}

std::string fold_case(const std::string& name)
{
    std::string folded = name;
    for (char& c : folded)
        c = fold_char(c);
    return folded;
}

// A symbolic link counts only when what it leads to exists; a loop of links
// fails to resolve here, once, instead of in every later look-up.
static bool entry_exists(const fs::directory_entry& entry)
{
    std::error_code error;
    return !entry.is_symlink(error) || fs::exists(entry.path(), error);
}

static Listing read_listing(const std::string& folder)
{
    Listing listing;
    std::error_code error;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error))
        if (entry_exists(*it)) {
            std::string name = it->path().filename().string();
            listing.push_back({fold_case(name), name});
        }
    std::sort(listing.begin(), listing.end(), [](const folder_entry_name& a, const folder_entry_name& b) {
        return a.folded != b.folded ? a.folded < b.folded : a.name < b.name;
    });
    return listing;
}

static folder_listing& listing_of(folder_listings& listings, const std::string& folder)
{
    auto known = listings.by_folder.find(folder);
    if (known == listings.by_folder.end())
        known = listings.by_folder.emplace(folder, folder_listing{read_listing(folder), {}}).first;
    return known->second;
}

// The first entry of that folded name, or where it would be.
static Listing::const_iterator first_folded(const Listing& listing, const std::string& folded)
{
    return std::lower_bound(listing.begin(), listing.end(), folded,
                            [](const folder_entry_name& entry, const std::string& key) { return entry.folded < key; });
}

static bool holds(const Listing& listing, const std::string& folded)
{
    auto first = first_folded(listing, folded);
    return first != listing.end() && first->folded == folded;
}

std::string folder_entry(folder_listings& listings, const std::string& folder, const std::string& name)
{
    folder_listing& read = listing_of(listings, folder);
    const Listing& listing = read.entries;
    std::string folded = fold_case(name);
    read.asked.insert(folded);
    auto first = first_folded(listing, folded);
    for (auto it = first; it != listing.end() && it->folded == folded; ++it)
        if (it->name == name)
            return name;
    return first != listing.end() && first->folded == folded ? first->name : std::string();
}

int open_regular_file(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat info;
    if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        close(fd);
        fd = -1;
    }
    return fd;
}

std::string larger_than(size_t limit)
{
    return "larger than " + std::to_string(limit) + " bytes";
}

int write_all(int fd, const void* bytes, size_t size)
{
    for (size_t done = 0; done < size;) {
        ssize_t wrote = write(fd, static_cast<const char*>(bytes) + done, size - done);
        if (wrote > 0)
            done += size_t(wrote);
        else if (wrote == 0 || errno != EINTR)
            return wrote == 0 ? ENOSPC : errno;
    }
    return 0;
}

bool read_regular_file(const std::string& path, size_t limit, std::string* bytes, std::string* why)
{
    std::string reason;
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0)
        reason = strerror(errno);
    else if (!S_ISREG(info.st_mode))
        reason = "not a regular file";
    else if (uint64_t(info.st_size) > limit)
        reason = larger_than(limit);
    if (reason.empty()) {
        bytes->resize(size_t(info.st_size));
        size_t total = 0;
        ssize_t n = 1;
        while (total < bytes->size() && (n = read(fd, bytes->data() + total, bytes->size() - total)) > 0)
            total += size_t(n);
        bytes->resize(total);
        if (n < 0)
            reason = strerror(errno);
    }
    if (fd >= 0)
        close(fd);
    if (why != nullptr)
        *why = reason;
    return reason.empty();
}

std::vector<std::string> folder_names(folder_listings& listings, const std::string& folder)
{
    std::vector<std::string> names;
    for (const folder_entry_name& entry : listing_of(listings, folder).entries)
        names.push_back(entry.name);
    return names;
}

bool asked_names_changed(const folder_listings& listings)
{
    for (const auto& [folder, listing] : listings.by_folder) {
        if (listing.asked.empty())
            continue;
        Listing now = read_listing(folder);
        auto same = [](const folder_entry_name& a, const folder_entry_name& b) { return a.name == b.name; };
        if (std::equal(now.begin(), now.end(), listing.entries.begin(), listing.entries.end(), same))
            continue;
        for (const std::string& name : listing.asked)
            if (holds(now, name) != holds(listing.entries, name))
                return true;
    }
    return false;
}
