#include "fuzz/fuzz_support.h"

#include <cerrno>
#include <cstdlib>
#include <sanitizer/allocator_interface.h>

std::jmp_buf fuzz_exit_jump;
bool fuzz_exit_armed = false;

extern "C" {
[[noreturn]] void __real_exit(int status);
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);

[[noreturn]] void __wrap_exit(int status)
{
    if (fuzz_exit_armed) {
        fuzz_exit_armed = false;
        std::longjmp(fuzz_exit_jump, 1);
    }
    __real_exit(status);
}

void* __wrap_malloc(size_t size)
{
    if (size > FUZZ_ALLOC_LIMIT) {
        errno = ENOMEM;
        return nullptr;
    }
    return __real_malloc(size);
}

void* __wrap_calloc(size_t count, size_t size)
{
    if (size != 0 && count > FUZZ_ALLOC_LIMIT / size) {
        errno = ENOMEM;
        return nullptr;
    }
    return __real_calloc(count, size);
}
}

static FILE* open_bytes(const unsigned char* data, size_t size)
{
    // fmemopen refuses an empty buffer; an empty file is still worth reading.
    if (size == 0)
        return fopen("/dev/null", "rb");
    return fmemopen(const_cast<unsigned char*>(data), size, "rb");
}

bool run_on_bytes(const unsigned char* data, size_t size, void (*run)(FILE*))
{
    FILE* stream = open_bytes(data, size);
    if (!stream)
        abort();
    volatile bool returned = false;
    if (setjmp(fuzz_exit_jump) == 0) {
        fuzz_exit_armed = true;
        run(stream);
        fuzz_exit_armed = false;
        returned = true;
    }
    fclose(stream);
    return returned;
}

size_t allocated_size(const void* block)
{
    return __sanitizer_get_allocated_size(block);
}

void silence_stdout()
{
    if (!freopen("/dev/null", "w", stdout))
        abort();
}
