#include "tools/save_png.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

// libpng's own handlers print; the caller reports the failure in its words.
static void png_failed(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

static void png_warned(png_structp, png_const_charp) {}

static bool write_png(FILE* file, const Pixels& picture)
{
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_failed, png_warned);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, picture.width, picture.height, 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < picture.height; y++)
        png_write_row(png, picture.at(0, y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

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
    bool written = file && write_png(file, picture);
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
