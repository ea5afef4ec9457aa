#include "export/glb_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <new>
#include <utility>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "gamefs/folders.h"

namespace {

// tinygltf's JSON of the model, its binary buffer declared by its length
// alone: tinygltf's own GLB writer copies the buffer whole first, a large
// model's worth of memory and time.
std::string gltf_json(tinygltf::Model* gltf)
{
    std::vector<tinygltf::Buffer> buffers;
    buffers.swap(gltf->buffers);
    std::ostringstream text;
    tinygltf::TinyGLTF writer;
    bool written = writer.WriteGltfSceneToStream(gltf, text, false, false);
    buffers.swap(gltf->buffers);
    if (!written)
        return {};
    nlohmann::json json = nlohmann::json::parse(text.str());
    if (!gltf->buffers.empty())
        json["buffers"] = nlohmann::json::array({{{"byteLength", gltf->buffers[0].data.size()}}});
    return json.dump();
}

// A GLB chunk: its length and type, its bytes, padded to four bytes.
int write_chunk(int fd, uint32_t type, const void* bytes, size_t size, char pad)
{
    uint32_t head[2] = {uint32_t((size + 3) & ~size_t(3)), type};
    const char padding[3] = {pad, pad, pad};
    int error = write_all(fd, head, sizeof head);
    if (error == 0)
        error = write_all(fd, bytes, size);
    return error != 0 ? error : write_all(fd, padding, head[0] - size);
}

// The GLB: its header, the JSON chunk, then the binary chunk if any, all
// little-endian.
static_assert(std::endian::native == std::endian::little);
int write_glb_chunks(int fd, const std::string& json, const std::vector<unsigned char>* data)
{
    uint64_t length = 12 + 8 + ((json.size() + 3) & ~size_t(3));
    if (data != nullptr)
        length += 8 + ((data->size() + 3) & ~size_t(3));
    // The format counts its bytes in 32 bits.
    if (length > UINT32_MAX)
        return EFBIG;
    uint32_t header[3] = {0x46546C67, 2, uint32_t(length)};  // "glTF", version 2
    int error = write_all(fd, header, sizeof header);
    if (error == 0)
        error = write_chunk(fd, 0x4E4F534A, json.data(), json.size(), ' ');  // "JSON"
    if (error == 0 && data != nullptr)
        error = write_chunk(fd, 0x004E4942, data->data(), data->size(), 0);  // "BIN"
    return error;
}


// A file with no name in `folder` (the umask applies, as to any new file),
// or -1 where the file system cannot make one or /proc cannot name it later.
int open_unnamed(const std::string& folder)
{
    if (access("/proc/self/fd", X_OK) != 0)
        return -1;
    return open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
}

// The unnamed file given a fresh hidden name from `pattern` (its last six
// bytes replaced); 0 or the errno.
int name_unnamed(int fd, std::string* pattern)
{
    std::string self = "/proc/self/fd/" + std::to_string(fd);
    static unsigned serial = 0;
    for (int attempt = 0; attempt < 100; attempt++) {
        snprintf(pattern->data() + pattern->size() - 6, 7, "%06x", (unsigned(getpid()) * 7919u + serial++) & 0xffffff);
        if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, pattern->c_str(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

// The signals that end an export: held off while the whole file is given
// its names, so that a kill then neither leaves the hidden name behind nor
// lets the target appear after the signal came.
constexpr int stop_signals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

sigset_t stop_set()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : stop_signals)
        sigaddset(&set, signal);
    return set;
}

bool stop_signal_pending()
{
    sigset_t pending;
    sigpending(&pending);
    for (int signal : stop_signals)
        if (sigismember(&pending, signal))
            return true;
    return false;
}

}  // namespace

std::string glb_target_refusal(const std::string& out, const struct stat& input)
{
    struct stat target;
    if (lstat(out.c_str(), &target) != 0)
        return "";
    if (target.st_dev == input.st_dev && target.st_ino == input.st_ino)
        return "is the model itself";
    if (!S_ISREG(target.st_mode))
        return "exists and is not a regular file";
    return "";
}

bool glb_output::open(const std::string& out, std::string* why)
{
    out_ = out;
    std::filesystem::path target(out);
    // Built by appending: GCC 12's optimizer warns of an overlap in "." + name.
    std::string hidden_name = ".";
    hidden_name += target.filename().string();
    hidden_name += ".XXXXXX";
    std::string folder = target.parent_path().empty() ? "." : target.parent_path().string();
    temporary_ = (target.parent_path() / hidden_name).string();
    fd_ = open_unnamed(folder);
    if (fd_ < 0) {
        fd_ = mkstemp(temporary_.data());
        named_ = fd_ >= 0;
        // As an ordinary new file would be made, not mkstemp's owner-only mode.
        mode_t mask = umask(0);
        umask(mask);
        if (named_ && fchmod(fd_, 0666 & ~mask) != 0) {
            int error = errno;
            abandon();
            errno = error;
        }
    }
    if (fd_ < 0)
        *why = strerror(errno);
    return fd_ >= 0;
}

bool glb_output::write(tinygltf::Model* gltf, std::string* why)
{
    int error = 0;
    try {
        std::string json = gltf_json(gltf);
        error = json.empty() ? EIO
                             : write_glb_chunks(fd_, json, gltf->buffers.empty() ? nullptr : &gltf->buffers[0].data);
    } catch (const std::bad_alloc&) {
        error = ENOMEM;
    } catch (const std::exception&) {
        error = EIO;
    }
    sigset_t stops = stop_set(), before;
    sigprocmask(SIG_BLOCK, &stops, &before);
    if (error == 0 && !named_) {
        error = name_unnamed(fd_, &temporary_);
        named_ = error == 0;
    }
    if (close(std::exchange(fd_, -1)) != 0 && error == 0)
        error = errno;
    if (error == 0 && stop_signal_pending())
        error = EINTR;
    if (error == 0 && rename(temporary_.c_str(), out_.c_str()) != 0)
        error = errno;
    if (error != 0)
        abandon();
    named_ = false;
    sigprocmask(SIG_SETMASK, &before, nullptr);
    if (error != 0)
        *why = strerror(error);
    return error == 0;
}

void glb_output::abandon()
{
    if (fd_ >= 0)
        close(std::exchange(fd_, -1));
    if (named_)
        unlink(temporary_.c_str());
    named_ = false;
}

glb_output::~glb_output()
{
    abandon();
}
