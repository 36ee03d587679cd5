#pragma once

#include "voteservice/core/clock.h"

namespace quorix::service {

// Time from the system: the steady clock for durations, the system clock for wall time.
class SystemClock : public Clock
{
public:
    std::int64_t steadyMs() const override;
    std::int64_t unixSeconds() const override;
};

} // namespace quorix::service
