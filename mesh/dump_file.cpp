#include "mesh/dump_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <tuple>

dump_file open_dump(const char* name)
{
    dump_file dump = {nullptr, name, ""};
    // A link leads to where the dump was always written.
    if (char* resolved = realpath(name, nullptr)) {
        dump.path = resolved;
        free(resolved);
    }
    struct stat earlier;
    bool exists = stat(dump.path.c_str(), &earlier) == 0;
    if (exists && !S_ISREG(earlier.st_mode)) {
        dump.file = fopen(dump.path.c_str(), "w+");
        return dump;
    }
    // "w+" would fail on a file we may not write; a rename would not.
    if (exists && faccessat(AT_FDCWD, dump.path.c_str(), W_OK, AT_EACCESS) != 0)
        return dump;
    size_t slash = dump.path.rfind('/');
    size_t base = slash == std::string::npos ? 0 : slash + 1;
    std::string temp = dump.path.substr(0, base) + "." + dump.path.substr(base) + ".XXXXXX";
    int fd = mkstemp(temp.data());
    // A writable dump in a folder closed to new files is written in place,
    // as before; other failures (no room) must not empty the earlier dump.
    if (fd < 0 && errno == EACCES && exists)
        dump.file = fopen(dump.path.c_str(), "w+");
    if (fd < 0)
        return dump;
    // The new file gets what "w+" would have left: the earlier file's mode,
    // and its owner where that may be given (otherwise it is ours), or the
    // usual mode.
    mode_t mask = umask(0);
    umask(mask);
    if (exists)
        std::ignore = fchown(fd, earlier.st_uid, earlier.st_gid);
    fchmod(fd, exists ? earlier.st_mode & 0777 : 0666 & ~mask);
    dump.file = fdopen(fd, "w+");
    if (!dump.file) {
        close(fd);
        unlink(temp.c_str());
        return dump;
    }
    dump.temp = temp;
    return dump;
}

bool close_dump(dump_file* dump)
{
    if (!dump->file)
        return false;
    bool written = !ferror(dump->file);
    written = fclose(dump->file) == 0 && written;
    dump->file = nullptr;
    if (dump->temp.empty())
        return written;
    written = written && rename(dump->temp.c_str(), dump->path.c_str()) == 0;
    if (!written)
        unlink(dump->temp.c_str());
    return written;
}
