#pragma once

// Transport control messages between a host and the vote service (major type 1). Bodies use the
// shared marshalling primitives; every field is little-endian.

#include "mpak.h"

#include <cstdint>
#include <string>

namespace hosttransport {

constexpr std::uint32_t kControlMajorType = 1;
constexpr std::uint32_t kHelloMinor = 1;
constexpr std::uint32_t kWelcomeMinor = 2;
constexpr std::uint32_t kMoveMinor = 3;

// Length prefix bounds: a frame is at least its 10-byte header and at most header plus 65535.
constexpr std::uint32_t kMinFrameLength = 10;
constexpr std::uint32_t kMaxFrameLength = 10 + 65535;

struct Hello
{
    std::uint32_t uid = 0;
    std::uint32_t imid = 0;
    std::string nick;
    std::uint32_t role = 0;
    std::uint32_t channelId = 0;
    std::uint32_t subChannelId = 0;
    std::string token;

    void marshal(mpak::Pack& p) const
    {
        p << uid << imid << nick << role << channelId << subChannelId << token;
    }
    void unmarshal(mpak::Unpack& up)
    {
        up >> uid >> imid >> nick >> role >> channelId >> subChannelId >> token;
    }
};

struct Welcome
{
    std::uint32_t result = 0;
    std::string text;

    void marshal(mpak::Pack& p) const { p << result << text; }
    void unmarshal(mpak::Unpack& up) { up >> result >> text; }
};

struct Move
{
    std::uint32_t subChannelId = 0;

    void marshal(mpak::Pack& p) const { p << subChannelId; }
    void unmarshal(mpak::Unpack& up) { up >> subChannelId; }
};

} // namespace hosttransport
