// Files that once broke the reader (most found by fuzzing). Each must load,
// or end with the store's one-line message, without any sanitizer report.
#include "mesh_support.h"

TEST(AseRegressionDeath, EveryFileLoadsOrEndsCleanly)
{
    expect_each_file_ends_cleanly(ASE_REGRESS_DIR, [](const std::string& path) {
        capture_stdout([&] { load_model(path.c_str()); });
        reset_ase_reader();
    });
}
