#include "voteservice/core/servicemetrics.h"

#include <quorix/protocol/votemessagetable.h>

#include <prometheus/counter.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

#include <algorithm>

namespace quorix::service {

namespace {

const char* transportName(Transport transport)
{
    switch (transport) {
    case Transport::Tcp:
        return "tcp";
    case Transport::WebSocket:
        return "websocket";
    case Transport::Sse:
        return "sse";
    case Transport::Http:
        return "http";
    }
    return "unknown";
}

constexpr Transport kAllTransports[] = {Transport::Tcp, Transport::WebSocket, Transport::Sse,
                                        Transport::Http};

// A request's label: its short name in the message table, "other" for anything else.
const char* requestName(std::uint32_t minType)
{
    const char* name = "other";
    visitVoteMessage(minType, [&](auto message) {
        if (message.shortName != nullptr)
            name = message.shortName;
    });
    return name;
}

// Seconds: a local SQLite commit takes tens of microseconds to tens of milliseconds (fsync).
const prometheus::Histogram::BucketBoundaries kCommitBuckets{0.0001, 0.00025, 0.0005, 0.001, 0.0025, 0.005,
                                                             0.01,   0.025,   0.05,   0.1,   0.25,   1};
// Seconds: a Redis round trip on a LAN takes a fraction of a millisecond.
const prometheus::Histogram::BucketBoundaries kRedisBuckets{0.00005, 0.0001, 0.00025, 0.0005, 0.001, 0.0025,
                                                            0.005,   0.01,   0.025,   0.05,   0.1,   0.5};

} // namespace

ServiceMetrics::ServiceMetrics(std::int64_t startUnixSeconds)
    : m_registry(std::make_unique<prometheus::Registry>())
{
    using namespace prometheus;
    Registry& r = *m_registry;
    auto& sessions =
        BuildGauge().Name("quorix_sessions").Help("Open client sessions by transport.").Register(r);
    auto& bytes = BuildCounter()
                      .Name("quorix_bytes_sent_total")
                      .Help("Bytes written to clients by transport.")
                      .Register(r);
    for (Transport transport : kAllTransports) {
        const auto i = static_cast<std::size_t>(transport);
        m_sessions[i] = &sessions.Add({{"transport", transportName(transport)}});
        m_bytes[i] = &bytes.Add({{"transport", transportName(transport)}});
    }
    m_requests = &BuildCounter()
                      .Name("quorix_requests_total")
                      .Help("Vote requests answered, by message and result code (0: done, others: refused).")
                      .Register(r);
    m_votesAccepted = &BuildCounter()
                           .Name("quorix_votes_accepted_total")
                           .Help("User votes and judge scores counted.")
                           .Register(r)
                           .Add({});
    m_broadcasts = &BuildCounter()
                        .Name("quorix_broadcasts_total")
                        .Help("Vote broadcasts sent to the sessions of a sub-channel.")
                        .Register(r)
                        .Add({});
    m_floodRefusals = &BuildCounter()
                           .Name("quorix_flood_refusals_total")
                           .Help("Requests and moves refused for going over the session's request budget.")
                           .Register(r)
                           .Add({});
    m_queuesCut = &BuildCounter()
                       .Name("quorix_output_queues_cut_total")
                       .Help("Clients dropped because their output queue passed its bound.")
                       .Register(r)
                       .Add({});
    auto& webhooks = BuildCounter()
                         .Name("quorix_webhook_events_total")
                         .Help("Webhook events by outcome: delivered, failed (an attempt, tried again), "
                               "given_up (after the retry window), dropped (from a full queue).")
                         .Register(r);
    const char* const outcomes[] = {"delivered", "failed", "given_up", "dropped"};
    for (std::size_t i = 0; i < m_webhookOutcomes.size(); ++i)
        m_webhookOutcomes[i] = &webhooks.Add({{"outcome", outcomes[i]}});
    auto& addressRefusals =
        BuildCounter()
            .Name("quorix_address_limit_refusals_total")
            .Help("Connections refused for their source address's limits, by listener (tcp: host transport).")
            .Register(r);
    for (Transport listener : {Transport::Tcp, Transport::Http})
        m_addressRefusals[static_cast<std::size_t>(listener)] =
            &addressRefusals.Add({{"transport", transportName(listener)}});
    m_commitSeconds = &BuildHistogram()
                           .Name("quorix_storage_commit_seconds")
                           .Help("Storage commits that answers waited for, in seconds.")
                           .Register(r)
                           .Add({}, kCommitBuckets);
    m_redisFamily = &BuildHistogram()
                         .Name("quorix_redis_roundtrip_seconds")
                         .Help("Round trips to Redis (one command or one pipelined batch), in seconds.")
                         .Register(r);
    BuildGauge()
        .Name("process_start_time_seconds")
        .Help("Start time of the process since the Unix epoch in seconds.")
        .Register(r)
        .Add({})
        .Set(static_cast<double>(startUnixSeconds));
    addFanoutGauges(r);
}

void ServiceMetrics::addFanoutGauges(prometheus::Registry& r)
{
    using namespace prometheus;
    m_lowestBroadcastHz =
        &BuildGauge()
             .Name("quorix_broadcast_hz_lowest")
             .Help("The lowest count broadcast rate in force for a running vote here, per second.")
             .Register(r)
             .Add({});
    m_plannedFrames =
        &BuildGauge()
             .Name("quorix_fanout_frames_per_second")
             .Help("Count broadcast frames a second the rates in force send to this node's sessions.")
             .Register(r)
             .Add({});
}

ServiceMetrics::~ServiceMetrics() = default;

void ServiceMetrics::webhookOutcome(WebhookOutcome outcome)
{
    m_webhookOutcomes[static_cast<std::size_t>(outcome)]->Increment();
}

void ServiceMetrics::sessionOpened(Transport transport)
{
    m_sessions[static_cast<std::size_t>(transport)]->Increment();
}

void ServiceMetrics::sessionClosed(Transport transport)
{
    m_sessions[static_cast<std::size_t>(transport)]->Decrement();
}

void ServiceMetrics::bytesSent(Transport transport, std::size_t bytes)
{
    m_bytes[static_cast<std::size_t>(transport)]->Increment(static_cast<double>(bytes));
}

void ServiceMetrics::outputQueueCut()
{
    m_queuesCut->Increment();
}

void ServiceMetrics::addressLimitRefused(Transport listener)
{
    if (prometheus::Counter* counter = m_addressRefusals[static_cast<std::size_t>(listener)])
        counter->Increment();
}

void ServiceMetrics::storageCommitted(double seconds)
{
    m_commitSeconds->Observe(seconds);
}

void ServiceMetrics::trackRedisRoundTrips()
{
    if (m_redisSeconds == nullptr)
        m_redisSeconds = &m_redisFamily->Add({}, kRedisBuckets);
}

void ServiceMetrics::redisRoundTrip(double seconds)
{
    if (m_redisSeconds != nullptr)
        m_redisSeconds->Observe(seconds);
}

void ServiceMetrics::requestAnswered(std::uint32_t requestMinType, std::uint32_t result)
{
    requestCounter(requestMinType, result).Increment();
}

prometheus::Counter& ServiceMetrics::requestCounter(std::uint32_t requestMinType, std::uint32_t result)
{
    const std::size_t type = requestMinType < kRequestTypes ? requestMinType : 0;
    const std::size_t slot = std::min<std::size_t>(result, kResultSlots - 1);
    prometheus::Counter*& counter = m_requestCounters[type][slot];
    if (counter == nullptr) {
        const std::string resultLabel = slot == kResultSlots - 1 ? "other" : std::to_string(slot);
        counter = &m_requests->Add(
            {{"message", requestName(static_cast<std::uint32_t>(type))}, {"result", resultLabel}});
    }
    return *counter;
}

void ServiceMetrics::voteAccepted()
{
    m_votesAccepted->Increment();
}

void ServiceMetrics::broadcastSent()
{
    m_broadcasts->Increment();
}

void ServiceMetrics::fanoutPlanned(std::uint32_t lowestHz, std::uint64_t framesPerSecond)
{
    m_lowestBroadcastHz->Set(lowestHz);
    m_plannedFrames->Set(static_cast<double>(framesPerSecond));
}

void ServiceMetrics::floodRefused()
{
    m_floodRefusals->Increment();
}

std::string ServiceMetrics::exposition() const
{
    return prometheus::TextSerializer().Serialize(m_registry->Collect());
}

} // namespace quorix::service
