// How the generators answer options: -h and --help print the usage and end
// well; any other argument that begins with '-' is refused, so that a
// mistyped option never becomes the name of the file written.
#pragma once
#include <cstdio>
#include <string_view>

// The exit status that an option among the arguments calls for; -1 when
// there is none.
inline int answer_options(int argc, char** argv, const char* usage)
{
    for (int i = 1; i < argc; i++) {
        std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            fputs(usage, stdout);
            return 0;
        }
        if (arg.starts_with('-')) {
            fputs(usage, stderr);
            return 2;
        }
    }
    return -1;
}
