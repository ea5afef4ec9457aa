// Targa files that once broke the reader or came close (hand-made, or found
// by fuzzing). Each must load, or end with the loader's one-line message,
// without any sanitizer report.
#include <gtest/gtest.h>

#include <cstdio>

#include "image/tga.h"
#include "tests/support/files.h"

TEST(TgaRegressionDeath, EveryFileLoadsOrEndsCleanly)
{
    expect_each_file_ends_cleanly(TGA_REGRESS_DIR, [](const std::string& path) {
        if (!freopen("/dev/null", "w", stdout))
            exit(2);
        tga_free(tga_load(path.c_str()));
    });
}
