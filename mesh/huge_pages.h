// Large lists that are reserved once and then filled: their memory asked of
// the kernel in 2 MiB pages where it hands them out on request. Touching a
// few hundred megabytes 4 KiB at a time costs a page fault each, which on a
// virtual machine took a third of exporting a million-face model.
#pragma once
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// Advice only: the pages inside [start, start + bytes) that are whole 2 MiB
// ones; a refusal changes nothing.
inline void advise_huge_pages(const void* start, size_t bytes)
{
    constexpr uintptr_t huge = uintptr_t(2) << 20;
    uintptr_t first = (uintptr_t(start) + huge - 1) & ~(huge - 1);
    uintptr_t last = (uintptr_t(start) + bytes) & ~(huge - 1);
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

template <class T> void reserve_in_huge_pages(std::vector<T>* list, size_t count)
{
    list->reserve(count);
    advise_huge_pages(list->data(), list->capacity() * sizeof(T));
}
