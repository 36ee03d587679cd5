#pragma once

// How many sessions the process's open-file limit can carry. Every connection is a descriptor,
// and a process out of descriptors cannot accept: new clients then wait in the listen queue with
// no answer instead of being told that the service is full.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace quorix::service {

class DescriptorLimit
{
public:
    // Descriptors kept for everything but connections: standard streams, the listener, the event
    // loop's own, the database with its journal files, Redis connections, signals.
    static constexpr std::size_t kReserved = 32;

    // The current soft limit on open files; nullopt when unlimited or unknown.
    static std::optional<std::uint64_t> current();
    // The most sessions that `limit` descriptors carry with `handshakeSlack` connections still in
    // their handshake beside them, but no more than `wanted`; at least 1.
    static std::size_t sessionsWithin(std::uint64_t limit, std::size_t wanted, std::size_t handshakeSlack);
};

} // namespace quorix::service
