#pragma once

// SQLite's memory for the SQLite fuzz target, taken from size-class pools instead of the sanitizer's
// allocator. The system library is built without its own small-allocation cache, so opening a
// database and preparing its statements makes thousands of mallocs per input; each costs a
// sanitizer stack trace and quarantine. The pool keeps what a sanitizer gave: under AddressSanitizer
// a block is poisoned except for the bytes SQLite asked for, so a read past a blob or text SQLite
// hands out, or into a freed block, is still reported. It counts the blocks in use so the target
// can tell that every connection and statement an input opened was closed again.
//
// Install it before SQLite initialises. Single-threaded, as the fuzz targets are.

#include <cstddef>

class SqliteMemoryPool
{
public:
    // Makes SQLite allocate from the pool. Returns false if SQLite was already initialised.
    static bool install();

    // Blocks SQLite holds now.
    static std::size_t blocksInUse();
};
