#pragma once

// Reads a small file whole, refusing one longer than a bound (also an endless one such as
// /dev/zero) instead of reading without end.

#include <cstddef>
#include <string>

namespace quorix::service {

class BoundedFile
{
public:
    enum class Outcome
    {
        Read,
        Unreadable, // reason holds the system's reason
        TooLong
    };

    static Outcome read(const std::string& path, std::size_t maxBytes, std::string& contents,
                        std::string& reason);
};

} // namespace quorix::service
