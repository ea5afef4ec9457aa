// A dump file replaced whole or not at all: written under a temporary name
// in the same folder and renamed over its name once complete and closed, so
// that a full disk or a second viewer in the same folder never leaves a part
// of a dump under that name.
#pragma once
#include <cstdio>
#include <string>

struct dump_file {
    FILE* file;         // null when it could not be opened
    std::string path;   // what it replaces, through symbolic links
    std::string temp;   // empty when written in place
};

// Opens the dump for writing where opening it with "w+" would succeed. An
// existing name that is not a regular file (a device such as /dev/null, a
// FIFO), or one in a folder where no file may be made, is written in place,
// as it cannot be replaced.
dump_file open_dump(const char* name);

// Closes the dump and puts it in place; false when it was never opened or
// when a write, the close or the rename failed. The temporary file is then
// gone and an earlier dump of that name untouched.
bool close_dump(dump_file* dump);
