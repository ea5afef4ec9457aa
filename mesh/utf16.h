// Models saved as Unicode text (3ds Max offers it): UTF-16 with a
// byte-order mark, read as the UTF-8 it stands for, so that the model
// reader meets the keywords and numbers it knows.
#pragma once
#include <cstddef>
#include <cstdio>

// How many bytes of `in` are read at a time.
constexpr size_t utf16_block_size = size_t(1) << 16;

// When `in` begins, at its current position, with a UTF-16 byte-order mark:
// a stream of the rest of it as UTF-8, to be closed after use (`in` stays
// open). Otherwise null, and `in` reads as it did; null too when memory fails.
// A block size below 2 counts as 2.
FILE* utf16_as_utf8(FILE* in, size_t block_size = utf16_block_size);
