// Test support for any test: a scratch working folder, whole files read and
// written, and what a piece of code prints on standard output.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Makes a fresh folder the working directory for the object's lifetime, then
// goes back and removes it.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return folder_; }

private:
    std::filesystem::path folder_, previous_;
};

// The whole file; empty when it cannot be read.
inline std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const std::string& path, const std::string& text);
void write_file(const std::string& path, const Bytes& bytes);
// A real temporary file holding the bytes, NULs included, positioned at its start.
FILE* temp_stream(const std::string& text);
FILE* temp_stream(const Bytes& bytes);

// Everything run prints on standard output.
std::string capture_stdout(const std::function<void()>& run);
// Runs load on every file of folder, each in a death test that must exit
// with status 0 or 1 and without any sanitizer report; the folder must hold
// at least one file.
void expect_each_file_ends_cleanly(const std::string& folder,
                                   const std::function<void(const std::string& path)>& load);
// Runs f in a death test that must end the process with status 1; returns
// what it printed on standard output before.
std::string fatal_stdout(const std::function<void()>& f);
