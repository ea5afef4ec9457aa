// Shared helpers of the mesh tests: parsing inline text, capturing the
// console, checking fatal exits whose message goes to standard output, and
// a fixture that gives each test a scratch working directory.
#pragma once

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "mesh/ase.h"
#include "mesh/store.h"

// Parses `text` from a fresh reader through a real file stream.
inline void parse_text(const std::string& text)
{
    reset_ase_reader();
    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    fwrite(text.data(), 1, text.size(), f);
    parse_ase(f);
    fclose(f);
}

inline std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::string scratch_file(const char* name)
{
    return (std::filesystem::temp_directory_path() / (name + std::to_string(getpid()))).string();
}

// Runs `f` with standard output sent to `path`.
inline void stdout_to_file(const std::string& path, const std::function<void()>& f)
{
    fflush(stdout);
    int saved = dup(1);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    close(fd);
    f();
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
}

inline std::string console_of(const std::function<void()>& f)
{
    std::string path = scratch_file("aseview_console_");
    stdout_to_file(path, f);
    std::string text = read_file(path);
    std::filesystem::remove(path);
    return text;
}

// Fatal errors print their one line on standard output, then exit(1).
inline void expect_fatal(const std::function<void()>& f, const std::string& message)
{
    std::string path = scratch_file("aseview_fatal_");
    EXPECT_EXIT(stdout_to_file(path, f), testing::ExitedWithCode(1), "");
    EXPECT_EQ(read_file(path), message);
    std::filesystem::remove(path);
}

// Each test runs in a fresh working directory, where the dumps are written.
class ScratchDirTest : public testing::Test {
protected:
    void SetUp() override
    {
        home = std::filesystem::current_path();
        std::string pattern = (std::filesystem::temp_directory_path() / "aseview_dump_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        std::filesystem::current_path(dir);
    }
    void TearDown() override
    {
        std::filesystem::current_path(home);
        std::filesystem::remove_all(dir);
        reset_ase_reader();
    }
    std::filesystem::path home, dir;
};

// The whole store as bytes, for comparing two parses record for record.
struct store_image {
    std::string vertices, faces, tfaces, tverts;
    int vertex_count, max_faces, tvert_count, v_pos;
    bool operator==(const store_image&) const = default;
};

inline std::string bytes_of(const void* p, int count, size_t size)
{
    if (count <= 0)
        return "";
    return p ? std::string(static_cast<const char*>(p), count * size) : "(no array)";
}

inline bool store_has_no_arrays()
{
    return !vertex_list && !face_list && !tface_list && !tvert_list;
}

inline store_image store_now()
{
    return {bytes_of(vertex_list, vertex_count, sizeof(d_data)),
            bytes_of(face_list, MAX_FACES, sizeof(face_data)),
            bytes_of(tface_list, MAX_FACES, sizeof(tface_data)),
            bytes_of(tvert_list, tvert_count, sizeof(tvert_data)),
            vertex_count, MAX_FACES, tvert_count, v_pos};
}
