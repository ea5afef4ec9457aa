// Zip archives read from their central directory, entries inflated through
// zlib. A game's archives hold tens of thousands of entries and are indexed
// at every start: one read of the directory, no allocation per entry.
#include "gamefs/archive.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>

// The records of the zip format that are read, by their signatures.
constexpr uint32_t end_signature = 0x06054b50, end64_signature = 0x06064b50, locator64_signature = 0x07064b50,
                   central_signature = 0x02014b50, local_signature = 0x04034b50;
constexpr size_t end_size = 22, end64_size = 56, locator64_size = 20, central_size = 46, local_size = 30;
// A directory larger than this is no game archive's: 16 million entries.
constexpr uint64_t max_directory_bytes = uint64_t(1) << 30;

static uint32_t le(const unsigned char* bytes, int count)
{
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; i--)
        value = value << 8 | bytes[i];
    return value;
}

static uint64_t le64(const unsigned char* bytes)
{
    return le(bytes, 4) | uint64_t(le(bytes + 4, 4)) << 32;
}

// Reads exactly size bytes at offset; false on a short read.
static bool read_at(int fd, uint64_t offset, size_t size, unsigned char* out)
{
    size_t total = 0;
    while (total < size) {
        ssize_t n = pread(fd, out + total, size - total, off_t(offset + total));
        if (n <= 0)
            return false;
        total += size_t(n);
    }
    return true;
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

struct directory_place {
    uint64_t offset, size;
};

// Where the central directory is, from the end record (and its zip64
// successor, where the end record's fields overflow). A count of 0xffff
// without a zip64 record is what writers leave for 65535 entries and more:
// the 32-bit fields still tell where the directory is.
static bool find_directory(int fd, uint64_t file_size, directory_place* place)
{
    // The end record is the last thing in the file but for a comment of at
    // most 65535 bytes.
    size_t tail_size = size_t(std::min<uint64_t>(file_size, end_size + 0xffff + locator64_size));
    std::vector<unsigned char> tail(tail_size);
    if (tail_size < end_size || !read_at(fd, file_size - tail_size, tail_size, tail.data()))
        return false;
    size_t at = tail_size - end_size + 1;
    do {
        if (at-- == 0)
            return false;
    } while (le(&tail[at], 4) != end_signature);
    const unsigned char* end = &tail[at];
    *place = {le(end + 16, 4), le(end + 12, 4)};
    bool overflows = place->offset == 0xffffffff || place->size == 0xffffffff;
    if (!overflows && le(end + 10, 2) != 0xffff)
        return true;
    unsigned char locator[locator64_size], end64[end64_size];
    uint64_t locator_at = file_size - tail_size + at;
    if (locator_at < locator64_size || !read_at(fd, locator_at - locator64_size, locator64_size, locator) ||
        le(locator, 4) != locator64_signature || !read_at(fd, le64(locator + 8), end64_size, end64) ||
        le(end64, 4) != end64_signature)
        return !overflows;
    *place = {le64(end64 + 48), le64(end64 + 40)};
    return true;
}

// The sizes and offset that overflow their 32-bit fields, from the entry's
// zip64 extra field; false when it does not hold them.
static bool read_zip64_extra(const unsigned char* extra, size_t extra_size, archive_entry* entry)
{
    uint64_t* fields[3] = {&entry->size, &entry->packed_size, &entry->offset};
    for (size_t at = 0; at + 4 <= extra_size;) {
        uint32_t id = le(extra + at, 2), size = le(extra + at + 2, 2);
        if (at + 4 + size > extra_size)
            return false;
        if (id == 1) {
            size_t field = at + 4;
            for (uint64_t* value : fields) {
                if (*value != 0xffffffff)
                    continue;
                if (field + 8 > at + 4 + size)
                    return false;
                *value = le64(extra + field);
                field += 8;
            }
            return true;
        }
        at += 4 + size;
    }
    return std::none_of(fields, fields + 3, [](uint64_t* value) { return *value == 0xffffffff; });
}

// Walks the directory to its end, keeping the entries inside the tree; false
// when a record runs past it or is no directory record.
static bool index_directory(game_archive* archive, const unsigned char* directory, size_t directory_size)
{
    std::vector<size_t> starts;  // where each kept name starts in `names`
    // Names and records take no more room than the directory that holds them.
    archive->names.reserve(directory_size);
    archive->records.reserve(directory_size / central_size);
    starts.reserve(archive->records.capacity());
    size_t at = 0;
    while (at < directory_size) {
        if (at + central_size > directory_size || le(directory + at, 4) != central_signature)
            return false;
        const unsigned char* record = directory + at;
        size_t name_size = le(record + 28, 2), extra_size = le(record + 30, 2), comment_size = le(record + 32, 2);
        if (at + central_size + name_size + extra_size + comment_size > directory_size)
            return false;
        archive_entry entry = {le(record + 42, 4), le(record + 20, 4), le(record + 24, 4), le(record + 16, 4),
                               uint16_t(le(record + 10, 2)), uint16_t(le(record + 8, 2))};
        std::string_view name((const char*)record + central_size, name_size);
        if (read_zip64_extra(record + central_size + name_size, extra_size, &entry) && inside_tree(name)) {
            starts.push_back(archive->names.size());
            archive->names.append(name);
            archive->records.push_back(entry);
        }
        at += central_size + name_size + extra_size + comment_size;
    }
    archive->entries.reserve(starts.size());
    for (size_t k = 0; k < starts.size(); k++) {
        size_t end = k + 1 < starts.size() ? starts[k + 1] : archive->names.size();
        archive->entries.emplace(std::string_view(archive->names).substr(starts[k], end - starts[k]), k);
    }
    return true;
}

// Inflates a deflated entry into exactly `size` bytes: a stream that gives
// more or less, or is damaged, fails. The packed size is within the read
// limit, which zlib's 32-bit counts hold.
static bool inflate_entry(std::vector<unsigned char>& packed, std::string* bytes, uint64_t size)
{
    z_stream stream = {};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return false;
    stream.next_in = packed.data();
    stream.avail_in = uInt(packed.size());
    // The room grows with what comes out, to one byte past the size it
    // claims (a stream that goes on lies): an entry that claims megabytes
    // but holds a few bytes costs a few bytes.
    size_t room = size_t(size) + 1, produced = 0;
    bytes->clear();
    int status;
    do {
        produced = size_t(stream.total_out);
        bytes->resize(std::min(room, std::max(2 * produced, size_t(1) << 16)));
        stream.next_out = (Bytef*)bytes->data() + produced;
        stream.avail_out = uInt(std::min<size_t>(bytes->size() - produced, UINT32_MAX));
        status = inflate(&stream, Z_NO_FLUSH);
    } while (status == Z_OK && stream.avail_out == 0 && bytes->size() < room);
    bool whole = status == Z_STREAM_END && stream.total_out == size;
    bytes->resize(size_t(stream.total_out));
    inflateEnd(&stream);
    return whole;
}

// Why the entry is not read as it is stored, before any of it is read;
// empty when it may be. Encrypted entries (flag bit 0) and methods other
// than stored and deflated are not read.
static std::string refusal(const archive_entry& entry, size_t limit)
{
    if (entry.size > limit)
        return larger_than(limit);
    if (entry.flags & 1)
        return "encrypted entry";
    if (entry.method != 0 && entry.method != 8)
        return "unsupported compression method";
    return {};
}

// The entry's bytes, from its local header on, checked against its size and
// checksum.
static bool read_entry(int fd, uint64_t file_size, const archive_entry& entry, size_t limit, std::string* bytes,
                       std::string* why)
{
    *why = refusal(entry, limit);
    if (!why->empty())
        return false;
    *why = "damaged entry";
    unsigned char local[local_size];
    if ((entry.method == 0 && entry.packed_size != entry.size) || !read_at(fd, entry.offset, local_size, local) ||
        le(local, 4) != local_signature)
        return false;
    uint64_t data_at = entry.offset + local_size + le(local + 26, 2) + le(local + 28, 2);
    // Deflate may grow what does not compress, by far less than this.
    if (data_at > file_size || entry.packed_size > file_size - data_at || entry.packed_size > limit + (1 << 20))
        return false;
    std::vector<unsigned char> packed(size_t(entry.packed_size));
    if (!read_at(fd, data_at, packed.size(), packed.data()))
        return false;
    if (entry.method == 8 && !inflate_entry(packed, bytes, entry.size))
        return false;
    if (entry.method == 0)
        bytes->assign(packed.begin(), packed.end());
    if (crc32_z(0, (const Bytef*)bytes->data(), bytes->size()) != entry.crc)
        return false;
    why->clear();
    return true;
}

game_archive* archive_open(const std::string& path)
{
    int fd = open_regular_file(path);
    if (fd < 0)
        return nullptr;
    struct stat info;
    directory_place place = {};
    std::unique_ptr<unsigned char[]> directory;
    bool ok = fstat(fd, &info) == 0 && find_directory(fd, uint64_t(info.st_size), &place) &&
              place.size <= max_directory_bytes && place.offset <= uint64_t(info.st_size) &&
              place.size <= uint64_t(info.st_size) - place.offset;
    if (ok) {
        directory = std::make_unique_for_overwrite<unsigned char[]>(size_t(place.size));
        ok = read_at(fd, place.offset, size_t(place.size), directory.get());
    }
    close(fd);
    auto* archive = new game_archive{path, {}, {}, {}};
    if (!ok || !index_directory(archive, directory.get(), size_t(place.size))) {
        delete archive;
        archive = nullptr;
    }
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

bool archive_read(const game_archive* archive, uint64_t entry, size_t limit, std::string* bytes,
                  std::string* why)
{
    std::string reason = "archive no longer readable";
    int fd = open_regular_file(archive->path);
    struct stat info;
    bool read = fd >= 0 && entry < archive->records.size() && fstat(fd, &info) == 0 &&
                read_entry(fd, uint64_t(info.st_size), archive->records[entry], limit, bytes, &reason);
    if (fd >= 0)
        close(fd);
    if (why != nullptr)
        *why = read ? std::string() : reason;
    return read;
}
