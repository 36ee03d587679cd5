#pragma once

// Per-address bounds on one listener's connections, checked as a connection is accepted and before
// any work is done for it: how many may be open at once from one address, and how many new ones
// (each with its TLS handshake, when there is TLS) an address may open per second. An IPv4 address
// counts on its own (an IPv4-mapped IPv6 address as its IPv4 address); IPv6 addresses count per /64,
// since one host may be handed a whole /64. A bound of 0 bounds nothing.
//
// An admitted connection holds a Lease for as long as it is open; the lease may outlive the limiter.
// The new-connection bound is a token bucket that holds one second's worth and refills continuously.
// Refusals are meant to be logged at most once a second per address: an admission says when.

#include <boost/asio/ip/address.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

namespace quorix::service {

class AddressLimiter
{
    struct Entry
    {
        std::size_t open = 0;
        double tokens = 0;
        std::int64_t refilledAtMs = 0;
        std::int64_t loggedAtMs = 0;
        bool logged = false;
        std::uint64_t refusedSinceLog = 0;
    };
    using Entries = std::unordered_map<std::string, Entry>;

public:
    enum class Verdict
    {
        Admitted,
        TooManyOpen, // the address holds maxOpen connections
        TooManyNew   // the address opened newPerSecond connections within the last second
    };

    class Lease
    {
    public:
        Lease() = default;
        Lease(std::shared_ptr<Entries> entries, std::string key)
            : m_entries(std::move(entries)), m_key(std::move(key))
        {}
        Lease(Lease&& other) noexcept = default;
        Lease& operator=(Lease&& other) noexcept;
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        ~Lease() { release(); }

    private:
        void release();
        std::shared_ptr<Entries> m_entries;
        std::string m_key;
    };

    struct Admission
    {
        Verdict verdict = Verdict::Admitted;
        Lease lease; // held by an admitted connection
        // A refusal that should be logged now (none was logged for the address within the last
        // second); refusedBefore of its refusals went unlogged since its last line.
        bool logNow = false;
        std::uint64_t refusedBefore = 0;
    };

    AddressLimiter(std::size_t maxOpen, std::uint32_t newPerSecond);

    Admission admit(const boost::asio::ip::address& address, std::int64_t nowMs);
    // What an address counts as in log lines: the IPv4 address, or the IPv6 /64 ("2001:db8::/64").
    static std::string describe(const boost::asio::ip::address& address);
    // The log line of a refusal whose logNow is set; `what` names the connection ("host connection").
    std::string refusalLine(const std::string& what, const boost::asio::ip::address& address,
                            const Admission& admission) const;
    // Addresses with open connections or a bucket not yet full again.
    std::size_t trackedAddresses() const { return m_entries->size(); }
    std::size_t maxOpen() const { return m_maxOpen; }
    std::uint32_t newPerSecond() const { return m_newPerSecond; }
    // New bounds for the connections to come; connections already open stay.
    void setBounds(std::size_t maxOpen, std::uint32_t newPerSecond)
    {
        m_maxOpen = maxOpen;
        m_newPerSecond = newPerSecond;
    }

private:
    static std::string keyOf(const boost::asio::ip::address& address);
    void refill(Entry& entry, std::int64_t nowMs) const;
    Verdict verdictFor(Entry& entry) const;
    // Forgets, at most once a second, the addresses that hold nothing and whose bucket is full.
    void forgetIdle(std::int64_t nowMs);

    std::size_t m_maxOpen;
    std::uint32_t m_newPerSecond;
    std::shared_ptr<Entries> m_entries = std::make_shared<Entries>();
    std::int64_t m_forgotAtMs = 0;
};

} // namespace quorix::service
