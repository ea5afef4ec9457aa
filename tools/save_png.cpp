#include "tools/save_png.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "image/png_write.h"

bool replaceable(const std::filesystem::path& path)
{
    struct stat s;
    return stat(path.c_str(), &s) == 0 ? S_ISREG(s.st_mode) : errno == ENOENT;
}

std::string save_png(const std::filesystem::path& path, const Pixels& picture)
{
    if (!replaceable(path))
        return "cannot write " + path.string() + ": it is there and not a regular file";
    std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    // A hidden name beside the target, built by appending: g++ 12 takes a
    // string put in front of another for an overlapping copy (-Wrestrict).
    std::string name = std::string(".").append(path.filename().string()).append(".XXXXXX");
    std::string temp = (folder / name).string();
    int fd = mkstemp(temp.data());
    if (fd < 0)
        return "cannot write " + path.string() + ": " + strerror(errno);
    errno = 0;
    FILE* file = fdopen(fd, "wb");
    bool written = file && png_write_rgb(file, picture.width, picture.height, picture.rgb.data(),
                                         3 * (ptrdiff_t)picture.width);
    written = (file ? fclose(file) == 0 : close(fd) == 0) && written;
    // mkstemp makes it private; a saved picture has the permissions of the
    // file it replaces, or the usual ones.
    mode_t mask = umask(0);
    umask(mask);
    struct stat earlier;
    mode_t mode = stat(path.c_str(), &earlier) == 0 ? earlier.st_mode & 0777 : 0666 & ~mask;
    if (written && chmod(temp.c_str(), mode) == 0 &&
        rename(temp.c_str(), path.c_str()) == 0)
        return "";
    std::string why = errno ? std::string(": ") + strerror(errno) : "";
    unlink(temp.c_str());
    return "cannot write " + path.string() + why;
}
