// Cost of the core's hot paths without a transport: accepting a user vote (without and with the
// service's metrics counting it), and encoding one coalesced broadcast for a sub-channel of many
// sessions.

#include "bench/service/allocationcounter.h"
#include "voteservice/core/memoryvotestorage.h"
#include "voteservice/core/outputsink.h"
#include "voteservice/core/servicemetrics.h"
#include "voteservice/core/voteservicecore.h"

#include <benchmark/benchmark.h>

using namespace quorix;
using namespace quorix::service;

namespace {

class FixedClock : public Clock
{
public:
    std::int64_t steadyMs() const override { return ms; }
    std::int64_t unixSeconds() const override { return 1800000000 + ms / 1000; }
    std::int64_t ms = 0;
};

class CountingSink : public OutputSink
{
public:
    void deliver(SessionId, const OutFrame& frame) override
    {
        bytes += frame.wire().size();
        last = frame;
    }
    std::size_t bytes = 0;
    OutFrame last;
};

// A session of sub-channel 10:20.
SessionIdentity member(std::uint32_t uid, const char* nick, std::uint32_t role)
{
    SessionIdentity identity;
    identity.uid = uid;
    identity.imid = uid;
    identity.nick = nick;
    identity.role = role;
    identity.channelId = 10;
    identity.subChannelId = 20;
    return identity;
}

struct Scenario
{
    explicit Scenario(std::size_t viewers, bool counted = false)
    {
        CoreOptions options;
        if (counted)
            options.metrics = &metrics;
        options.requestsPerSecond = 1000000;
        options.requestBurst = 1000000;
        core = std::make_unique<VoteServiceCore>(clock, storage, sink, options);
        core->openSession(1, member(1, "manager", 255));
        for (std::size_t i = 0; i < viewers; ++i) {
            const auto uid = static_cast<std::uint32_t>(1000 + i);
            core->openSession(uid, member(uid, "viewer", 0));
        }
        VoteInfo vote;
        vote.name = "bench";
        vote.limitTime = 9999;
        vote.limits = {{kTicketsPerUser, 1000000}, {kTicketsPerOption, 1000000}};
        for (std::uint32_t i = 0; i < 10; ++i)
            vote.options[i] = "option " + std::to_string(i);
        core->handle(1, VOTE_SYSTEM_CREATE_VOTE_REQ, mpak::encode(PCreateVoteReq{10, 20, vote, {}}));
        voteId = storage.votes({10, 20}).front().voteId;
        core->handle(1, VOTE_SYSTEM_START_VOTE_REQ, mpak::encode(PStartVoteReq{10, 20, voteId, 1, {}}));
        // The last frame is the start broadcast; its run number goes into every ticket.
        PBroadcastVote started;
        mpak::decode(std::string(sink.last.frame().substr(10)), started);
        jiFangId = started.jiFangId;
    }

    FixedClock clock;
    ServiceMetrics metrics{0};
    MemoryVoteStorage storage;
    CountingSink sink;
    std::unique_ptr<VoteServiceCore> core;
    std::uint32_t voteId = 0;
    std::uint32_t jiFangId = 0;
};

void BM_UserVote(benchmark::State& state)
{
    Scenario s(1000, state.range(0) == 1);
    std::uint32_t option = 0;
    std::size_t allocations = 0;
    for (auto _ : state) {
        const std::uint32_t uid = 1000 + option % 1000;
        const PUserVoteReq req{10, 20, s.voteId, kNormalVote, s.jiFangId, uid, option % 10, 1, {}};
        const std::string body = mpak::encode(req);
        const std::size_t before = bench::allocationCount();
        s.core->handle(uid, VOTE_SYSTEM_USER_VOTE_REQ, body);
        allocations += bench::allocationCount() - before;
        ++option;
    }
    state.SetItemsProcessed(state.iterations());
    // The core's own: decoding, deciding, encoding and delivering the answer.
    state.counters["allocs_per_vote"] = double(allocations) / double(state.iterations());
}
// Argument 1: counted in the service's metrics, as quorix-voted does.
BENCHMARK(BM_UserVote)->Arg(0)->Arg(1);

void BM_CoalescedBroadcast(benchmark::State& state)
{
    Scenario s(static_cast<std::size_t>(state.range(0)));
    const std::string body =
        mpak::encode(PUserVoteReq{10, 20, s.voteId, kNormalVote, s.jiFangId, 1000, 3, 1, {}});
    for (auto _ : state) {
        s.core->handle(1000, VOTE_SYSTEM_USER_VOTE_REQ, body);
        s.clock.ms += 100;
        s.core->tick();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CoalescedBroadcast)->Arg(100)->Arg(10000);

} // namespace

BENCHMARK_MAIN();
