#include "voteservice/web/webticketstore.h"

#include <openssl/rand.h>

#include <array>
#include <stdexcept>

namespace quorix::service {

namespace {
std::string randomTicket()
{
    std::array<unsigned char, WebTicketStore::kTicketChars / 2> bytes{};
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1)
        throw std::runtime_error("no random bytes for a web ticket");
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char byte : bytes) {
        text.push_back(kHex[byte >> 4]);
        text.push_back(kHex[byte & 0x0f]);
    }
    return text;
}
} // namespace

void WebTicketStore::forget(const std::string& ticket)
{
    const auto it = m_tickets.find(ticket);
    if (it == m_tickets.end())
        return;
    const User user{it->second.claims.channelId, it->second.claims.uid};
    if (--m_perUser[user] == 0)
        m_perUser.erase(user);
    m_tickets.erase(it);
}

void WebTicketStore::dropExpired(std::int64_t nowMs)
{
    while (!m_issued.empty()) {
        const auto it = m_tickets.find(m_issued.front());
        if (it != m_tickets.end() && it->second.expiresMs > nowMs)
            return;
        forget(m_issued.front());
        m_issued.pop_front();
    }
}

WebTicketStore::Issued WebTicketStore::issue(const AccessClaims& claims, std::int64_t nowMs,
                                             std::string& ticket)
{
    dropExpired(nowMs);
    // Spent tickets count until their time is up: the queue of names stays bounded too.
    if (m_issued.size() >= kMaxTickets)
        return Issued::StoreFull;
    const User user{claims.channelId, claims.uid};
    const auto held = m_perUser.find(user);
    if (held != m_perUser.end() && held->second >= kMaxPerUser)
        return Issued::UserFull;
    ticket = randomTicket();
    m_tickets[ticket] = Entry{claims, nowMs + kLifetimeMs};
    m_issued.push_back(ticket);
    ++m_perUser[user];
    return Issued::Yes;
}

std::optional<AccessClaims> WebTicketStore::redeem(std::string_view ticket, std::int64_t nowMs)
{
    dropExpired(nowMs);
    const auto it = m_tickets.find(std::string(ticket));
    if (it == m_tickets.end())
        return std::nullopt;
    AccessClaims claims = it->second.claims;
    // Spent: its name stays in m_issued until it would have expired, and is skipped there.
    forget(std::string(ticket));
    return claims;
}

} // namespace quorix::service
