#pragma once

// What a token lets its holder do, as the space-separated words of its `scope` claim:
//   events   vote state, event streams and history (watch)
//   vote     vote and give judge scores
//   manage   vote management (with a manager role)
//   metrics  the Prometheus figures of /metrics
// Unknown words are refused, so a token never seems to grant less than its issuer meant.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorix::service {

enum class AccessScope : std::uint8_t
{
    Events = 1,
    Vote = 2,
    Manage = 4,
    Metrics = 8,
};

class ScopeSet
{
public:
    constexpr ScopeSet() = default;
    constexpr ScopeSet(AccessScope scope) : m_bits(static_cast<std::uint8_t>(scope)) {}

    // Every scope: what a session without token checks (no keys configured) may do.
    static constexpr ScopeSet all() { return ScopeSet(0x0f); }
    // What a role may be given: events and vote, and manage for a manager role (never metrics).
    static ScopeSet forRole(std::uint32_t role);
    // The words of a `scope` claim or of --scope; nullopt when a word is unknown or none is given.
    static std::optional<ScopeSet> parse(std::string_view words);

    bool has(AccessScope scope) const { return (m_bits & static_cast<std::uint8_t>(scope)) != 0; }
    bool contains(ScopeSet other) const { return (m_bits & other.m_bits) == other.m_bits; }
    bool empty() const { return m_bits == 0; }
    ScopeSet with(AccessScope scope) const { return ScopeSet(m_bits | static_cast<std::uint8_t>(scope)); }
    ScopeSet without(AccessScope scope) const { return ScopeSet(m_bits & ~static_cast<std::uint8_t>(scope)); }
    ScopeSet intersect(ScopeSet other) const { return ScopeSet(m_bits & other.m_bits); }
    // The words in a fixed order ("events vote manage metrics"), as the claim carries them.
    std::string words() const;

    bool operator==(ScopeSet o) const { return m_bits == o.m_bits; }
    bool operator!=(ScopeSet o) const { return m_bits != o.m_bits; }

private:
    constexpr explicit ScopeSet(std::uint8_t bits) : m_bits(bits) {}

    std::uint8_t m_bits = 0;
};

} // namespace quorix::service
