#pragma once

// The clock the service fuzz targets drive: it only moves when the input says so.

#include "voteservice/core/clock.h"

#include <cstdint>

class FuzzClock : public quorix::service::Clock
{
public:
    static constexpr std::int64_t kStartUnix = 1'800'000'000;

    std::int64_t steadyMs() const override { return m_ms; }
    std::int64_t unixSeconds() const override { return kStartUnix + m_ms / 1000; }
    void advance(std::int64_t ms) { m_ms += ms; }

private:
    std::int64_t m_ms = 1000;
};
