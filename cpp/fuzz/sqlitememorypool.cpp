#include "fuzz/sqlitememorypool.h"

#include <sanitizer/asan_interface.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// Every block starts with this header; SQLite gets the bytes after it.
struct Header
{
    std::uint32_t sizeClass;
    std::uint32_t size; // bytes SQLite asked for, rounded up to 8
    Header* next;       // next free block of the class while the block is free
};
static_assert(sizeof(Header) == 16, "payloads stay 16-byte aligned");

constexpr std::uint32_t kClasses = 16;     // blocks of 32 bytes .. 1 MiB, header included
constexpr std::uint32_t kLarge = kClasses; // a block of its own from the system allocator
constexpr std::size_t kSlabBytes = 256 * 1024;

std::size_t blockBytes(std::uint32_t sizeClass)
{
    return std::size_t(32) << sizeClass;
}

Header* freeLists[kClasses] = {};
// The slabs are never returned: the leak checker sees them reachable from here.
std::vector<void*>* slabs = nullptr;
std::size_t inUse = 0;

void* payload(Header* header)
{
    return header + 1;
}

Header* headerOf(void* block)
{
    return static_cast<Header*>(block) - 1;
}

void refill(std::uint32_t sizeClass)
{
    const std::size_t block = blockBytes(sizeClass);
    const std::size_t bytes = block > kSlabBytes ? block : kSlabBytes;
    auto* slab = static_cast<char*>(std::malloc(bytes));
    if (slab == nullptr)
        return;
    if (slabs == nullptr)
        slabs = new std::vector<void*>;
    slabs->push_back(slab);
    for (std::size_t offset = 0; offset + block <= bytes; offset += block) {
        auto* header = reinterpret_cast<Header*>(slab + offset);
        header->sizeClass = sizeClass;
        header->next = freeLists[sizeClass];
        freeLists[sizeClass] = header;
        ASAN_POISON_MEMORY_REGION(payload(header), block - sizeof(Header));
    }
}

std::uint32_t roundUp(int size)
{
    return (std::uint32_t(size) + 7u) & ~7u;
}

std::uint32_t classFor(std::uint32_t size)
{
    std::uint32_t sizeClass = 0;
    while (sizeClass < kClasses && blockBytes(sizeClass) - sizeof(Header) < size)
        ++sizeClass;
    return sizeClass;
}

void* allocate(int requested)
{
    if (requested <= 0)
        return nullptr;
    const std::uint32_t size = roundUp(requested);
    const std::uint32_t sizeClass = classFor(size);
    Header* header = nullptr;
    if (sizeClass == kLarge) {
        header = static_cast<Header*>(std::malloc(sizeof(Header) + size));
    } else {
        if (freeLists[sizeClass] == nullptr)
            refill(sizeClass);
        header = freeLists[sizeClass];
        if (header != nullptr)
            freeLists[sizeClass] = header->next;
    }
    if (header == nullptr)
        return nullptr;
    header->sizeClass = sizeClass;
    header->size = size;
    ++inUse;
    ASAN_UNPOISON_MEMORY_REGION(payload(header), size);
    return payload(header);
}

void release(void* block)
{
    if (block == nullptr)
        return;
    Header* header = headerOf(block);
    --inUse;
    if (header->sizeClass == kLarge) {
        std::free(header);
        return;
    }
    ASAN_POISON_MEMORY_REGION(block, header->size);
    header->next = freeLists[header->sizeClass];
    freeLists[header->sizeClass] = header;
}

int sizeOf(void* block)
{
    return block == nullptr ? 0 : int(headerOf(block)->size);
}

void* reallocate(void* block, int requested)
{
    if (block == nullptr)
        return allocate(requested);
    Header* header = headerOf(block);
    const std::uint32_t size = roundUp(requested);
    if (header->sizeClass != kLarge && classFor(size) == header->sizeClass) {
        ASAN_POISON_MEMORY_REGION(block, header->size);
        header->size = size;
        ASAN_UNPOISON_MEMORY_REGION(block, size);
        return block;
    }
    void* moved = allocate(requested);
    if (moved == nullptr)
        return nullptr;
    const std::uint32_t kept = header->size < size ? header->size : size;
    __builtin_memcpy(moved, block, kept);
    release(block);
    return moved;
}

int roundRequest(int size)
{
    return int(roundUp(size));
}

int initialise(void*)
{
    return SQLITE_OK;
}

void shutDown(void*) {}

const sqlite3_mem_methods kMethods = {allocate,     release,    reallocate, sizeOf,
                                      roundRequest, initialise, shutDown,   nullptr};

} // namespace

bool SqliteMemoryPool::install()
{
    return sqlite3_config(SQLITE_CONFIG_MALLOC, &kMethods) == SQLITE_OK;
}

std::size_t SqliteMemoryPool::blocksInUse()
{
    return inUse;
}
