#pragma once

// How the webhook sender delivers: the webhook of every channel without its own, the bounds, and
// the retry schedule (exponential from one second, capped, given up once an event is older than
// the retry window).

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quorix::service {

struct WebhookOptions
{
    std::string defaultUrl; // empty: only the channels' own webhooks
    std::string defaultSecret;
    bool allowHttp = false;        // plain http:// addresses, for tests and development only
    std::string caFile;            // PEM CA certificates trusted besides the system's; empty: none
    std::size_t queueLimit = 1000; // events waiting per channel
    std::size_t maxInFlight = 16;  // requests at once, over all channels (one per channel)
    std::chrono::milliseconds timeout{10000};
    std::int64_t leaseSeconds = 60; // a claimed event another process may take after this
    std::int64_t maxRetryDelaySeconds = 300;
    std::int64_t retryWindowSeconds = 3600;
    std::uint32_t broadcastHz = 10; // the vote state's broadcastHz

    // The wait before the attempt after `failures` failed ones: 1 s, 2 s, 4 s … up to the cap.
    std::int64_t retryDelaySeconds(std::uint32_t failures) const
    {
        return failures >= 20 ? maxRetryDelaySeconds
                              : std::min<std::int64_t>(std::int64_t(1) << failures, maxRetryDelaySeconds);
    }
};

} // namespace quorix::service
