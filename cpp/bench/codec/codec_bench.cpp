// Costs of the marshalling primitives and of the two hottest messages: the create request a
// manager sends and the vote broadcast every viewer decodes on each count change. Each is shown
// next to the floor for its bytes: one copy of them into a fresh string.

#include <quorix/protocol/mpak.h>
#include <quorix/protocol/votemessages.h>

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

namespace {

using namespace quorix;

// A realistic answer body: integers, texts and a 10-entry map.
struct SampleBody
{
    std::uint32_t result = 0;
    std::uint32_t voteId = 4711;
    std::string name = "Which song should open the evening show?";
    std::uint32_t limitTime = 300;
    TextMap options;
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(SampleBody, result, voteId, name, limitTime, options, extend)
};

SampleBody sampleBody()
{
    SampleBody body;
    for (std::uint32_t i = 0; i < 10; ++i)
        body.options[i] = "Option number " + std::to_string(i);
    return body;
}

// A normal vote as the editor saves it: title, time, ticket rules and ten options.
VoteInfo tenOptionVote()
{
    VoteInfo vote;
    vote.voteId = 4711;
    vote.name = "Which song should open the evening show?";
    vote.limitTime = 300;
    vote.voteType = kNormalVote;
    vote.ownerUid = 100200;
    vote.limits = {{kTicketsPerUser, 5}, {kTicketsPerOption, 2}};
    for (std::uint32_t i = 0; i < 10; ++i)
        vote.options[i] = "Option number " + std::to_string(i);
    return vote;
}

// The same vote while running, as the broadcast carries it: every option has its count.
VoteInfo tenOptionVoteWithCounts()
{
    VoteInfo vote = tenOptionVote();
    for (std::uint32_t i = 0; i < 10; ++i)
        vote.optionTickets[i] = 100 + i;
    return vote;
}

PCreateVoteReq createRequest()
{
    PCreateVoteReq req;
    req.channelId = 10;
    req.subChannelId = 20;
    req.vote = tenOptionVote();
    return req;
}

PBroadcastVote runningBroadcast()
{
    PBroadcastVote broadcast;
    broadcast.status = kVoteStarted;
    broadcast.remainSeconds = 120;
    broadcast.jiFangId = 99;
    broadcast.vote = tenOptionVoteWithCounts();
    return broadcast;
}

// One copy of `wire` into a fresh string per iteration.
void copyLoop(benchmark::State& state, const std::string& wire)
{
    for (auto _ : state) {
        std::string copy(wire.size(), '\0');
        std::memcpy(&copy[0], wire.data(), wire.size());
        benchmark::DoNotOptimize(copy);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wire.size()));
}

void BM_PackUnpackBody(benchmark::State& state)
{
    const SampleBody body = sampleBody();
    for (auto _ : state) {
        const std::string wire = mpak::encode(body);
        SampleBody back;
        benchmark::DoNotOptimize(mpak::decode(wire, back));
        benchmark::DoNotOptimize(back);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * mpak::encode(body).size()));
}
BENCHMARK(BM_PackUnpackBody);

// The floor for the same bytes: one copy into a fresh string and one out of it.
void BM_MemcpySameBytes(benchmark::State& state)
{
    const std::string wire = mpak::encode(sampleBody());
    for (auto _ : state) {
        std::string copy(wire.size(), '\0');
        std::memcpy(&copy[0], wire.data(), wire.size());
        std::string back(copy);
        benchmark::DoNotOptimize(back);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wire.size()));
}
BENCHMARK(BM_MemcpySameBytes);

// The request as the editor sends it, encoded from scratch every time.
void BM_EncodeCreateRequest(benchmark::State& state)
{
    const PCreateVoteReq req = createRequest();
    for (auto _ : state) {
        std::string wire = mpak::encode(req);
        benchmark::DoNotOptimize(wire);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * mpak::encode(req).size()));
}
BENCHMARK(BM_EncodeCreateRequest);

void BM_MemcpyCreateRequest(benchmark::State& state)
{
    copyLoop(state, mpak::encode(createRequest()));
}
BENCHMARK(BM_MemcpyCreateRequest);

// The full decode: a fresh message filled from the bytes and destroyed again, every time.
void BM_DecodeBroadcast(benchmark::State& state)
{
    const std::string wire = mpak::encode(runningBroadcast());
    for (auto _ : state) {
        PBroadcastVote decoded;
        const bool complete = mpak::decode(wire, decoded);
        benchmark::DoNotOptimize(complete);
        benchmark::DoNotOptimize(decoded);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wire.size()));
}
BENCHMARK(BM_DecodeBroadcast);

void BM_MemcpyBroadcast(benchmark::State& state)
{
    copyLoop(state, mpak::encode(runningBroadcast()));
}
BENCHMARK(BM_MemcpyBroadcast);

} // namespace

BENCHMARK_MAIN();
