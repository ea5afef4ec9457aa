// What the fuzz targets share: a way back from the readers' fatal exits, and
// an allocation limit that stands in for a machine with little memory.
#pragma once
#include <csetjmp>
#include <cstddef>
#include <cstdio>

constexpr size_t FUZZ_ALLOC_LIMIT = size_t(64) << 20;

extern std::jmp_buf fuzz_exit_jump;
extern bool fuzz_exit_armed;

// Calls run(stream) on a read-only stream over the bytes; returns false when
// the code under test called exit.
bool run_on_bytes(const unsigned char* data, size_t size, void (*run)(FILE*));

// The number of bytes a live heap block was allocated with.
size_t allocated_size(const void* block);

// Sends the readers' console output away; the fuzzer reports on stderr.
void silence_stdout();
