#pragma once

// Who a session is and where it sits. Set by the transport from the handshake (or by the embedding
// host) and changed only by a move; request bodies never change it.

#include "voteservice/core/accessscope.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace quorix::service {

using SessionId = std::uint64_t;

// Roles that may manage the votes of a channel.
inline bool isManagerRole(std::uint32_t role)
{
    return role == 255 || role == 230 || role == 200 || role == 175 || role == 150;
}

struct SubChannelKey
{
    std::uint32_t channelId = 0;
    std::uint32_t subChannelId = 0;

    bool operator==(const SubChannelKey& o) const
    {
        return channelId == o.channelId && subChannelId == o.subChannelId;
    }
    bool operator<(const SubChannelKey& o) const
    {
        return channelId != o.channelId ? channelId < o.channelId : subChannelId < o.subChannelId;
    }
};

struct SubChannelKeyHash
{
    std::size_t operator()(const SubChannelKey& k) const
    {
        return std::hash<std::uint64_t>()((std::uint64_t(k.channelId) << 32) | k.subChannelId);
    }
};

struct SessionIdentity
{
    std::uint32_t uid = 0;
    std::uint32_t imid = 0;
    std::string nick; // UTF-8
    std::uint32_t role = 0;
    std::uint32_t channelId = 0;
    std::uint32_t subChannelId = 0;
    // What the session's token allows; every scope where the service checks no tokens.
    ScopeSet scopes = ScopeSet::all();
    // The token's `jti`, when it has one (for the audit trail); never the token itself.
    std::string tokenId;
    // Where the session comes from, for the audit trail: the transport ("tcp", "web", "embedded")
    // and the peer's address as "ip:port" (empty in process).
    std::string transport = "embedded";
    std::string peer;

    SubChannelKey place() const { return {channelId, subChannelId}; }
    bool isManager() const { return isManagerRole(role); }
};

} // namespace quorix::service
