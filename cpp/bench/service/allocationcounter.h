#pragma once

// Counts the program's heap allocations: replaces the global operator new. Include it in exactly
// one source file of a benchmark program.

#include <cstddef>
#include <cstdlib>
#include <new>

namespace quorix::bench {
inline std::size_t g_allocations = 0;
inline std::size_t allocationCount()
{
    return g_allocations;
}
} // namespace quorix::bench

// The replacement new takes its memory from malloc, so free is the matching release.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size)
{
    ++quorix::bench::g_allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
