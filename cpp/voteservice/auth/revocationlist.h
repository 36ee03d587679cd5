#pragma once

// Revoked tokens: for a user of a channel, every token issued before a time. A revocation is kept
// until no token it refuses can still be valid (its time plus the longest lifetime allowed).

#include "voteservice/auth/accessclaims.h"

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace quorix::service {

struct Revocation
{
    std::uint32_t channelId = 0;
    std::uint32_t uid = 0;
    std::int64_t issuedBefore = 0; // tokens with `iat` before this second are refused
    std::int64_t expiresAt = 0;    // after this second the revocation is forgotten

    bool operator==(const Revocation& o) const
    {
        return channelId == o.channelId && uid == o.uid && issuedBefore == o.issuedBefore &&
               expiresAt == o.expiresAt;
    }
};

class RevocationList
{
public:
    RevocationList() = default;
    explicit RevocationList(const std::vector<Revocation>& revocations);

    // A legacy token, which has no `iat`, counts as issued at 0: any revocation of its user refuses it.
    bool revokes(const AccessClaims& claims) const;
    std::size_t size() const { return m_before.size(); }
    bool operator==(const RevocationList& o) const { return m_before == o.m_before; }

private:
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::int64_t> m_before; // (channel, uid)
};

} // namespace quorix::service
