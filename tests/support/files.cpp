#include "tests/support/files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

ScratchFolder::ScratchFolder() : previous_(std::filesystem::current_path())
{
    std::string pattern = (std::filesystem::temp_directory_path() / "aseview_test_XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make " + pattern);
    folder_ = pattern;
    std::filesystem::current_path(folder_);
}

ScratchFolder::~ScratchFolder()
{
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(folder_);
}

static void write_bytes(const std::string& path, const void* data, size_t size)
{
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(data, 1, size, f);
    fclose(f);
}

void write_file(const std::string& path, const std::string& text)
{
    write_bytes(path, text.data(), text.size());
}

void write_file(const std::string& path, const Bytes& bytes)
{
    write_bytes(path, bytes.data(), bytes.size());
}

static FILE* temp_stream(const void* data, size_t size)
{
    FILE* stream = tmpfile();
    if (stream) {
        fwrite(data, 1, size, stream);
        rewind(stream);
    }
    return stream;
}

FILE* temp_stream(const std::string& text)
{
    return temp_stream(text.data(), text.size());
}

FILE* temp_stream(const Bytes& bytes)
{
    return temp_stream(bytes.data(), bytes.size());
}

// Runs f with standard output written to path.
static void stdout_to(const std::string& path, const std::function<void()>& f)
{
    fflush(stdout);
    int saved = dup(1);
    FILE* file = fopen(path.c_str(), "w");
    dup2(fileno(file), 1);
    fclose(file);
    f();
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
}

// What write puts into a fresh file of our own (so that parallel runs never
// share one), which is then removed.
static std::string written_by(const std::function<void(const std::string& path)>& write)
{
    std::string path = (std::filesystem::temp_directory_path() / "aseview_out_XXXXXX").string();
    close(mkstemp(path.data()));
    write(path);
    std::string text = read_file(path);
    unlink(path.c_str());
    return text;
}

std::string capture_stdout(const std::function<void()>& run)
{
    return written_by([&](const std::string& path) { stdout_to(path, run); });
}

void expect_each_file_ends_cleanly(const std::string& folder,
                                   const std::function<void(const std::string& path)>& load)
{
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::string path = entry.path().string();
        SCOPED_TRACE(path);
        EXPECT_EXIT((load(path), exit(0)),
                    [](int status) { return WIFEXITED(status) && WEXITSTATUS(status) <= 1; },
                    testing::Not(testing::HasSubstr("Sanitizer")));
        files++;
    }
    EXPECT_GT(files, 0);
}

std::string fatal_stdout(const std::function<void()>& f)
{
    return written_by(
        [&](const std::string& path) { EXPECT_EXIT(stdout_to(path, f), testing::ExitedWithCode(1), ""); });
}
