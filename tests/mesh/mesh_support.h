// Shared helpers of the mesh tests: parsing inline text, capturing the
// console, checking fatal exits whose message goes to standard output, a
// fixture that gives each test a scratch working directory, and texts that
// steer every conversion.
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
#include <vector>

#include "store_snapshot.h"

inline std::string corpus(const char* name)
{
    return std::string(ASEVIEW_CORPUS) + "/ase/" + name;
}

// A real file stream holding `text`, NULs included.
inline FILE* stream_of(const std::string& text)
{
    FILE* f = tmpfile();
    fwrite(text.data(), 1, text.size(), f);
    return f;
}

// Parses `text` from a fresh reader.
inline void parse_text(const std::string& text)
{
    reset_ase_reader();
    FILE* f = stream_of(text);
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

inline bool store_has_no_arrays()
{
    return !vertex_list && !face_list && !tface_list && !tvert_list;
}

// Texts that exercise every conversion, the token and the line skip: signs,
// C prefixes, exponents, inf and nan, overflow, long and NUL-holding texts,
// whitespace of every kind and bytes beyond ASCII.
inline std::vector<std::string> tricky_texts()
{
    return {
        "1", "-1", "+1", "--1", "+-1", "-+1", "0", "-0", "+0", "010", "08", "09", "0x1F", "0X1f", "-0x10",
        "0x", "0X", "0x ", "0xg", "0x:", "00x5", "2147483647", "2147483648", "-2147483649", "4294967296",
        "9223372036854775807", "9223372036854775808", "-9223372036854775809", "0x7fffffffffffffffff",
        "99999999999999999999999999", ".5", "5.", "-.5", ".", "-.", ".e5", "1e", "1e+", "1e-", "1E5", "1e+5",
        "1e5e5", "1e+-5", "-", "+", "- 1", "inf", "-inf", "INF", "infinity", "InFiNiTy", "infinit", "infx",
        "infix", "in", "i", "nan", "-nan", "NAN", "nan(12)", "nan()", "na", "nax", "n", "0x1.8p3", "0x1p",
        "0x1p-", "0X1P+3", "0x.8", "0x.p1", "0xp1", "0x1e+3", "0xAe3", "1e-45", "1e-46", "7e-46", "1.4e-45",
        "1e-38", "1.1754942e-38", "3.4028235e38", "3.4028236e38", "3.5e38", "1e39", "-1e39", "1e-400",
        "1e400", "0x1p-149", "0x1p-150", "0x1p128", "0x1.fffffep127", "0x1.ffffffp127",
        "0.3333333333333333333333333333333333", "16777217", "16777216.5", "0.1000000000000000055511151231",
        std::string(300, '9'), "0." + std::string(400, '0') + "1", "1" + std::string(80, '0'),
        "0x" + std::string(100, 'f'), std::string(70, '1') + "." + std::string(70, '2'),
        std::string("1\0 2", 4), std::string("\0", 1), std::string("*MESH_VERTEX\0junk 1 2 3", 23),
        "1\r", "\r\n", "\v1\f2", "1\v2\f3", "\xa0" "1", "1\xa0", "A:", "A: 1", ":", "::", "A:\tB:",
        "abcdefgh\x01ijklmnop\x1f" "qrstuvwx\x7f\x80\xff!yz", "*MESH_VERTEX\x01", "*MESH_VERTEX\x1f 1 2 3",
    };
}
