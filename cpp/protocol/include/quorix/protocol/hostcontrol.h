#pragma once

// Transport control messages (major type 1) between a host and quorix-voted, in the marshalling
// primitives of the vote messages. See docs/host-transport.md.

#include <quorix/protocol/votemessages.h>

#include <cstdint>
#include <string>

namespace quorix::service {

constexpr std::uint32_t kControlMajorType = 1;

enum ControlMinorType : std::uint32_t
{
    kControlHello = 1,
    kControlWelcome = 2,
    kControlMove = 3,
    // Service to host: the service is stopping; every answer it owes has been sent before this.
    kControlGoingAway = 4
};

// WELCOME results.
enum WelcomeResult : std::uint32_t
{
    kWelcomeAccepted = 0,
    kWelcomeMalformed = 1,
    kWelcomeBadToken = 2,
    kWelcomeServiceFull = 3,
    kWelcomeHelloExpected = 4,
    kWelcomeTooManyForUser = 5,
};

struct PHello
{
    std::uint32_t uid = 0;
    std::uint32_t imid = 0;
    std::string nick; // UTF-8
    std::uint32_t role = 0;
    std::uint32_t channelId = 0;
    std::uint32_t subChannelId = 0;
    std::string token;
    QUORIX_WIRE_FIELDS(PHello, uid, imid, nick, role, channelId, subChannelId, token)
};

struct PWelcome
{
    std::uint32_t result = 0;
    std::string text;
    QUORIX_WIRE_FIELDS(PWelcome, result, text)
};

struct PGoingAway
{
    std::string text; // why, for the host's log
    QUORIX_WIRE_FIELDS(PGoingAway, text)
};

struct PMove
{
    std::uint32_t subChannelId = 0;
    QUORIX_WIRE_FIELDS(PMove, subChannelId)
};

} // namespace quorix::service
