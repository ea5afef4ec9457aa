// Files that once broke the reader (most found by fuzzing). Each must load,
// or end with the store's one-line message, without any sanitizer report.
#include <filesystem>

#include "mesh_support.h"

TEST(AseRegressionDeath, EveryFileLoadsOrEndsCleanly)
{
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ASE_REGRESS_DIR)) {
        std::string path = entry.path().string();
        SCOPED_TRACE(path);
        EXPECT_EXIT(
            {
                capture_stdout([&] { load_model(path.c_str()); });
                reset_ase_reader();
                exit(0);
            },
            [](int status) { return WIFEXITED(status) && WEXITSTATUS(status) <= 1; },
            testing::Not(testing::HasSubstr("Sanitizer")));
        files++;
    }
    EXPECT_GT(files, 0);
}
