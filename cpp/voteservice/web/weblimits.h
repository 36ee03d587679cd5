#pragma once

// The bounds of the web face (quorix-voted --http-*).

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace quorix::service {

struct WebLimits
{
    std::size_t maxConnections = 1024;  // beyond: 503
    std::size_t headerBytes = 8 * 1024; // beyond: 431
    std::size_t bodyBytes = 64 * 1024;  // beyond: 413
    std::chrono::seconds idleTimeout{30};
    std::chrono::seconds readTimeout{10};
    std::size_t webSocketMessageBytes = 16 * 1024; // beyond: close 1009
    // A stream whose unsent output grows beyond this is closed (a reader too slow to keep up).
    std::size_t maxQueuedBytes = 1 << 20;
    // Plain requests of one user (a uid within a channel), as one host session may make them.
    std::uint32_t requestsPerSecond = 20;
    std::uint32_t requestBurst = 40;
    // How long a request waits for the core's answer before it is given up (503).
    std::chrono::seconds answerTimeout{10};
    // Per source address (IPv6 per /64): connections open at once and new ones per second; beyond
    // them a connection is answered 429 before it is read (over TLS: closed). 0 bounds nothing.
    std::size_t maxConnectionsPerAddress = 0;
    std::uint32_t maxNewConnectionsPerAddressPerSecond = 0;
};

} // namespace quorix::service
