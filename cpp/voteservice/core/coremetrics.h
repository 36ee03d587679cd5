#pragma once

// What the core counts as it works, for a transport that exports figures (quorix-voted's
// ServiceMetrics). An interface so the core, which the desktop host embeds, needs no metrics
// library; the default counts nothing. Called on the core's thread, once per event: keep it cheap.

#include <cstdint>

namespace quorix::service {

class CoreMetrics
{
public:
    virtual ~CoreMetrics() = default;
    // A request of the given minor type was answered with this result code (0: done).
    virtual void requestAnswered(std::uint32_t /*requestMinType*/, std::uint32_t /*result*/) {}
    // A user vote or judge score was counted.
    virtual void voteAccepted() {}
    // A vote broadcast went to the sessions of one sub-channel.
    virtual void broadcastSent() {}
    // The count broadcast rates now in force: the lowest of them and the frames a second they plan.
    virtual void fanoutPlanned(std::uint32_t /*lowestHz*/, std::uint64_t /*framesPerSecond*/) {}
    // A session's request or move was refused for going over its request budget.
    virtual void floodRefused() {}
};

} // namespace quorix::service
