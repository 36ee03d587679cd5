#pragma once

// quorix-voted's figures in the Prometheus text format 0.0.4: sessions and bytes by transport,
// requests by message and result, accepted votes, broadcasts and their rates, flood refusals, cut output
// queues, connections refused for their address's limits, storage commit and Redis round-trip latencies, and
// the process's start time.
//
// Every series is created once, up front or on its first use, and kept as a reference, so counting
// is an array index and an atomic add; exposition() builds the text on demand. Counting is
// thread-safe (the library's metrics are atomic), though the service counts from one thread.

#include "voteservice/core/coremetrics.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace prometheus {
class Counter;
class Gauge;
class Histogram;
class Registry;
template <typename T> class Family;
} // namespace prometheus

namespace quorix::service {

enum class Transport
{
    Tcp,
    WebSocket,
    Sse,
    Http
};

// What became of a webhook event: delivered, an attempt that failed (tried again later), given up
// after the retry window, or dropped from a full queue.
enum class WebhookOutcome
{
    Delivered,
    Failed,
    GivenUp,
    Dropped
};

class ServiceMetrics : public CoreMetrics
{
public:
    static constexpr const char* kContentType = "text/plain; version=0.0.4; charset=utf-8";

    explicit ServiceMetrics(std::int64_t startUnixSeconds);
    ~ServiceMetrics() override;
    ServiceMetrics(const ServiceMetrics&) = delete;
    ServiceMetrics& operator=(const ServiceMetrics&) = delete;

    void sessionOpened(Transport transport);
    void sessionClosed(Transport transport);
    void bytesSent(Transport transport, std::size_t bytes);
    // A client was dropped because its output queue would have passed its bound.
    void outputQueueCut();
    // A connection was refused for its source address's limits (Tcp: the host transport, Http: the web).
    void addressLimitRefused(Transport listener);
    // How long a storage commit took that answers were waiting for.
    void storageCommitted(double seconds);
    // Adds the Redis round-trip histogram (Redis mode only); before it, round trips are not kept.
    void trackRedisRoundTrips();
    void redisRoundTrip(double seconds);
    // Safe from any thread (the webhook sender has its own).
    void webhookOutcome(WebhookOutcome outcome);

    void requestAnswered(std::uint32_t requestMinType, std::uint32_t result) override;
    void voteAccepted() override;
    void broadcastSent() override;
    void floodRefused() override;
    void fanoutPlanned(std::uint32_t lowestHz, std::uint64_t framesPerSecond) override;

    std::string exposition() const;

private:
    static constexpr std::size_t kTransports = 4;
    // Request minor types run up to 33; result codes up to 21, later ones share the last slot.
    static constexpr std::size_t kRequestTypes = 34;
    static constexpr std::size_t kResultSlots = 32;

    void addFanoutGauges(prometheus::Registry& r);
    prometheus::Counter& requestCounter(std::uint32_t requestMinType, std::uint32_t result);

    std::unique_ptr<prometheus::Registry> m_registry;
    prometheus::Family<prometheus::Counter>* m_requests = nullptr;
    prometheus::Family<prometheus::Histogram>* m_redisFamily = nullptr;
    std::array<prometheus::Gauge*, kTransports> m_sessions{};
    std::array<prometheus::Counter*, kTransports> m_bytes{};
    // Created on first use: most message/result pairs never happen.
    std::array<std::array<prometheus::Counter*, kResultSlots>, kRequestTypes> m_requestCounters{};
    prometheus::Counter* m_votesAccepted = nullptr;
    prometheus::Counter* m_broadcasts = nullptr;
    prometheus::Counter* m_floodRefusals = nullptr;
    prometheus::Counter* m_queuesCut = nullptr;
    std::array<prometheus::Counter*, 4> m_webhookOutcomes{};
    std::array<prometheus::Counter*, kTransports> m_addressRefusals{};
    prometheus::Histogram* m_commitSeconds = nullptr;
    prometheus::Histogram* m_redisSeconds = nullptr;
    prometheus::Gauge* m_lowestBroadcastHz = nullptr;
    prometheus::Gauge* m_plannedFrames = nullptr;
};

} // namespace quorix::service
