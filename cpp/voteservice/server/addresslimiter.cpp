#include "voteservice/server/addresslimiter.h"

#include <algorithm>

namespace quorix::service {

namespace asio = boost::asio;

namespace {
constexpr std::int64_t kSecondMs = 1000;
constexpr std::size_t kIpv6PrefixBytes = 8; // a /64

asio::ip::address unmapped(const asio::ip::address& address)
{
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    return address;
}

asio::ip::address_v6 prefixOf(const asio::ip::address_v6& address)
{
    asio::ip::address_v6::bytes_type bytes = address.to_bytes();
    std::fill(bytes.begin() + kIpv6PrefixBytes, bytes.end(), 0);
    return asio::ip::address_v6(bytes);
}
} // namespace

AddressLimiter::Lease& AddressLimiter::Lease::operator=(Lease&& other) noexcept
{
    if (this != &other) {
        release();
        m_entries = std::move(other.m_entries);
        m_key = std::move(other.m_key);
    }
    return *this;
}

void AddressLimiter::Lease::release()
{
    if (!m_entries)
        return;
    const auto it = m_entries->find(m_key);
    if (it != m_entries->end() && it->second.open > 0)
        --it->second.open;
    m_entries.reset();
}

AddressLimiter::AddressLimiter(std::size_t maxOpen, std::uint32_t newPerSecond)
    : m_maxOpen(maxOpen), m_newPerSecond(newPerSecond)
{}

std::string AddressLimiter::keyOf(const asio::ip::address& address)
{
    const asio::ip::address plain = unmapped(address);
    if (plain.is_v4()) {
        const auto bytes = plain.to_v4().to_bytes();
        return std::string(bytes.begin(), bytes.end());
    }
    const auto bytes = plain.to_v6().to_bytes();
    return std::string(bytes.begin(), bytes.begin() + kIpv6PrefixBytes);
}

std::string AddressLimiter::describe(const asio::ip::address& address)
{
    const asio::ip::address plain = unmapped(address);
    if (plain.is_v4())
        return plain.to_string();
    return prefixOf(plain.to_v6()).to_string() + "/64";
}

std::string AddressLimiter::refusalLine(const std::string& what, const asio::ip::address& address,
                                        const Admission& admission) const
{
    std::string line = "refused a " + what + " from " + describe(address) + ": ";
    if (admission.verdict == Verdict::TooManyOpen)
        line += std::to_string(m_maxOpen) + " connections open from there (--max-connections-per-address)";
    else
        line += std::to_string(m_newPerSecond) +
                " new connections from there within a second (--max-new-connections-per-address-per-second)";
    if (admission.refusedBefore > 0)
        line += "; " + std::to_string(admission.refusedBefore) + " more refused since the last such line";
    return line;
}

AddressLimiter::Admission AddressLimiter::admit(const asio::ip::address& address, std::int64_t nowMs)
{
    Admission admission;
    if (m_maxOpen == 0 && m_newPerSecond == 0)
        return admission;
    forgetIdle(nowMs);
    const std::string key = keyOf(address);
    auto [it, added] = m_entries->try_emplace(key);
    Entry& entry = it->second;
    if (added) {
        entry.tokens = m_newPerSecond;
        entry.refilledAtMs = nowMs;
    }
    refill(entry, nowMs);
    admission.verdict = verdictFor(entry);
    if (admission.verdict == Verdict::Admitted) {
        ++entry.open;
        if (m_newPerSecond > 0)
            entry.tokens -= 1;
        admission.lease = Lease(m_entries, key);
        return admission;
    }
    if (entry.logged && nowMs - entry.loggedAtMs < kSecondMs) {
        ++entry.refusedSinceLog;
        return admission;
    }
    admission.logNow = true;
    admission.refusedBefore = entry.refusedSinceLog;
    entry.logged = true;
    entry.loggedAtMs = nowMs;
    entry.refusedSinceLog = 0;
    return admission;
}

void AddressLimiter::refill(Entry& entry, std::int64_t nowMs) const
{
    if (m_newPerSecond == 0)
        return;
    const double elapsed = static_cast<double>(std::max<std::int64_t>(0, nowMs - entry.refilledAtMs));
    entry.tokens = std::min<double>(m_newPerSecond, entry.tokens + elapsed * m_newPerSecond / kSecondMs);
    entry.refilledAtMs = nowMs;
}

AddressLimiter::Verdict AddressLimiter::verdictFor(Entry& entry) const
{
    if (m_maxOpen > 0 && entry.open >= m_maxOpen)
        return Verdict::TooManyOpen;
    if (m_newPerSecond > 0 && entry.tokens < 1)
        return Verdict::TooManyNew;
    return Verdict::Admitted;
}

void AddressLimiter::forgetIdle(std::int64_t nowMs)
{
    if (nowMs - m_forgotAtMs < kSecondMs)
        return;
    m_forgotAtMs = nowMs;
    for (auto it = m_entries->begin(); it != m_entries->end();) {
        Entry& entry = it->second;
        refill(entry, nowMs);
        const bool full = m_newPerSecond == 0 || entry.tokens >= m_newPerSecond;
        const bool quiet = !entry.logged || nowMs - entry.loggedAtMs >= kSecondMs;
        if (entry.open == 0 && full && quiet)
            it = m_entries->erase(it);
        else
            ++it;
    }
}

} // namespace quorix::service
