#include "tools/driver/build_tree.h"

#include <filesystem>

namespace fs = std::filesystem;

void copy_run_files(const std::vector<std::string>& names, const std::string& folder)
{
    for (const std::string& name : names)
        fs::copy_file(fs::path(ASEVIEW_RUN_DIR) / name, fs::path(folder) / name,
                      fs::copy_options::overwrite_existing);
}
