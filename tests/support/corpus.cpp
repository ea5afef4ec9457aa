#include "tests/support/corpus.h"

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

const std::string& corpus_folder()
{
    static const std::string folder = [] {
        const char* set = getenv("ASEVIEW_CORPUS");
        return fs::absolute(set && *set ? set : ASEVIEW_CORPUS).lexically_normal().string();
    }();
    return folder;
}

// Taken at start-up: a relative ASEVIEW_CORPUS names a folder from where the
// program was started, not from a test's scratch folder.
[[maybe_unused]] static const std::string& folder_at_start = corpus_folder();

std::string corpus_path(const std::string& name)
{
    return (fs::path(corpus_folder()) / name).string();
}

bool have_corpus()
{
    std::error_code e;
    return fs::is_directory(corpus_path("ase"), e) && fs::is_directory(corpus_path("tga"), e);
}

std::string missing_corpus_text()
{
    return "no corpus at " + corpus_folder() +
           " (its ase/ and tga/ folders): point ASEVIEW_CORPUS at it, with cmake -DASEVIEW_CORPUS= or in "
           "the environment";
}
