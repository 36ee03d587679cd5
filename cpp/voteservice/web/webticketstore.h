#pragma once

// Tickets for the streams: a browser cannot set Authorization on a WebSocket or an EventSource, so a
// page trades its bearer token for a ticket (POST /api/v1/tickets) and opens the stream with
// ?ticket=. A ticket is 192 random bits in hex, bound to the claims and scopes of the token that
// bought it, good for one stream within kLifetimeMs. The store is bounded in all and per user, so a
// token holder cannot fill it for others.

#include "voteservice/auth/accessclaims.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace quorix::service {

class WebTicketStore
{
public:
    static constexpr std::int64_t kLifetimeMs = 30000;
    static constexpr std::size_t kMaxTickets = 65536;
    static constexpr std::size_t kMaxPerUser = 16;
    static constexpr std::size_t kTicketChars = 48;

    enum class Issued
    {
        Yes,
        UserFull,  // the user holds kMaxPerUser live tickets
        StoreFull, // kMaxTickets issued within the last kLifetimeMs
    };

    // A new ticket for these claims in ticket.
    Issued issue(const AccessClaims& claims, std::int64_t nowMs, std::string& ticket);
    // The claims of a live ticket, which is spent by it; nullopt when unknown, spent or expired.
    std::optional<AccessClaims> redeem(std::string_view ticket, std::int64_t nowMs);
    std::size_t size() const { return m_tickets.size(); }

private:
    using User = std::pair<std::uint32_t, std::uint32_t>; // channel, uid
    struct Entry
    {
        AccessClaims claims;
        std::int64_t expiresMs = 0;
    };
    void dropExpired(std::int64_t nowMs);
    void forget(const std::string& ticket);

    std::unordered_map<std::string, Entry> m_tickets;
    std::deque<std::string> m_issued; // oldest first: every ticket lives equally long
    std::map<User, std::size_t> m_perUser;
};

} // namespace quorix::service
