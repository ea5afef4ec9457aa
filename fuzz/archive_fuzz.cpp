// Arbitrary bytes as a pk4 archive: indexed, and every entry it lists read
// (a refusal always with its reason), through a memory file so that the reader sees a regular file as on disk.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "gamefs/archive.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    int fd = memfd_create("archive", 0);
    if (fd < 0 || write(fd, data, size) != (ssize_t)size)
        abort();
    game_archive* archive = archive_open("/proc/self/fd/" + std::to_string(fd));
    if (archive != nullptr) {
        std::string bytes, why;
        for (const auto& [name, entry] : archive->entries) {
            bool read = archive_read(archive, entry, 1 << 20, &bytes, &why);
            if ((read && bytes.size() > (1 << 20)) || read == !why.empty())
                abort();
        }
        archive_close(archive);
    }
    close(fd);
    return 0;
}
