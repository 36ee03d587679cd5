#pragma once

// The service's source of time, injected so tests drive it. steadyMs never goes backwards and
// times the votes; unixSeconds is wall time for the history.

#include <cstdint>

namespace quorix::service {

class Clock
{
public:
    virtual ~Clock() = default;
    virtual std::int64_t steadyMs() const = 0;
    virtual std::int64_t unixSeconds() const = 0;
};

} // namespace quorix::service
