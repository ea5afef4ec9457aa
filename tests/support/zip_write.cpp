#include "tests/support/zip_write.h"

#include <zip.h>

#include <stdexcept>

void write_zip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries,
               bool stored)
{
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (zip == nullptr)
        throw std::runtime_error("cannot write " + path);
    for (const auto& [name, bytes] : entries) {
        zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
        zip_int64_t index = source ? zip_file_add(zip, name.c_str(), source, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0 || (stored && zip_set_file_compression(zip, (zip_uint64_t)index, ZIP_CM_STORE, 0) < 0))
            throw std::runtime_error("cannot add " + name + " to " + path);
    }
    if (zip_close(zip) != 0)
        throw std::runtime_error("cannot close " + path);
}
