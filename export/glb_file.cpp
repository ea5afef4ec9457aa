#include "export/glb_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <ostream>
#include <streambuf>

namespace {

// Writes straight to a descriptor, the first failure
// kept: tinygltf writes a GLB in a handful of large pieces.
class descriptor_sink : public std::streambuf {
public:
    explicit descriptor_sink(int fd) : fd_(fd) {}
    int error() const { return error_; }

protected:
    std::streamsize xsputn(const char* bytes, std::streamsize count) override
    {
        for (std::streamsize done = 0; done < count && error_ == 0;) {
            ssize_t wrote = write(fd_, bytes + done, size_t(count - done));
            if (wrote > 0)
                done += wrote;
            else if (wrote == 0 || errno != EINTR)
                error_ = wrote == 0 ? ENOSPC : errno;
        }
        return error_ == 0 ? count : 0;
    }
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        char byte = traits_type::to_char_type(c);
        return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
    }

private:
    int fd_;
    int error_ = 0;
};

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

bool write_glb(const tinygltf::Model& gltf, const std::string& out, std::string* why)
{
    std::filesystem::path target(out);
    // Built by appending: GCC 12's optimizer warns of an overlap in "." + name.
    std::string hidden_name = ".";
    hidden_name += target.filename().string();
    hidden_name += ".XXXXXX";
    std::string temporary = (target.parent_path() / hidden_name).string();
    int fd = mkstemp(temporary.data());
    if (fd < 0) {
        *why = strerror(errno);
        return false;
    }
    // As an ordinary new file would be made, not mkstemp's owner-only mode.
    mode_t mask = umask(0);
    umask(mask);
    int error = fchmod(fd, 0666 & ~mask) == 0 ? 0 : errno;
    descriptor_sink sink(fd);
    std::ostream stream(&sink);
    tinygltf::TinyGLTF writer;
    try {
        if (error == 0 && !writer.WriteGltfSceneToStream(&gltf, stream, false, true))
            error = EIO;
    } catch (const std::bad_alloc&) {
        error = ENOMEM;
    }
    if (error == 0)
        error = sink.error();
    if (close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && rename(temporary.c_str(), out.c_str()) != 0)
        error = errno;
    if (error != 0) {
        unlink(temporary.c_str());
        *why = strerror(error);
        return false;
    }
    return true;
}
