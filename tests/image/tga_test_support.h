// Helpers shared by the Targa tests: streams over byte strings and captured
// console output.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

Bytes concat(std::initializer_list<Bytes> parts);

// A read-only stream over bytes, which must outlive it; seeking past its end fails.
FILE* memory_stream(const Bytes& bytes);
// A real temporary file holding bytes, positioned at its start.
FILE* file_stream(const Bytes& bytes);
// Everything run prints on standard output.
std::string capture_stdout(const std::function<void()>& run);
std::string read_file(const std::string& path);
// text with everything but letters and digits turned into underscores.
std::string param_name(std::string text);
