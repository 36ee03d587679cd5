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
    kControlWebTokenRequest = 4,
    kControlWebTokenAnswer = 5,
    // Service to host: the service is stopping; every answer it owes has been sent before this.
    kControlGoingAway = 6
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

// Asks the service for a token the user's web pages may hold: narrower and shorter-lived than the
// host's own (never `manage` or `metrics`, at most 7200 s, never past the host's token).
struct PWebTokenRequest
{
    std::string scopes;                // space-separated scope words wanted, e.g. "events vote"
    std::uint32_t lifetimeSeconds = 0; // wanted lifetime; 0: as long as allowed
    QUORIX_WIRE_FIELDS(PWebTokenRequest, scopes, lifetimeSeconds)
};

// Web token answer results.
enum WebTokenResult : std::uint32_t
{
    kWebTokenGranted = 0,         // the token; empty when the service checks no tokens
    kWebTokenMalformed = 1,       // the body does not decode, or names an unknown scope
    kWebTokenNothingToGrant = 2,  // no wanted scope may go to a web page, or the host's token expired
    kWebTokenCannotSign = 3,      // tokens are checked, but the service holds no key to sign with
    kWebTokenTooManyRequests = 4, // beyond the session's request budget (shared with vote requests)
};

struct PWebTokenAnswer
{
    std::uint32_t result = 0;
    std::string token;           // a JWT for the session's identity and sub_channel, with a fresh jti
    std::uint32_t expiresIn = 0; // seconds from now
    QUORIX_WIRE_FIELDS(PWebTokenAnswer, result, token, expiresIn)
};

} // namespace quorix::service
