// Cost of the host connections' write path over real loopback TCP: one broadcast frame queued to N
// sessions and written (one gathered write per session), and K answers queued to one session in
// one handler, which leave in one write. Counts the heap allocations per session and per frame
// with a counting operator new.

#include "bench/service/allocationcounter.h"
#include "voteservice/core/outframe.h"
#include "tests/support/recordingsessionowner.h"
#include "tests/support/servicetestsupport.h"
#include "voteservice/server/tcpsession.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <array>
#include <memory>
#include <vector>

using namespace quorix::service;

namespace {

void raiseOpenFileLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// N sessions on accepted loopback connections; the peers' ends stay here and are drained.
struct Sessions
{
    explicit Sessions(std::size_t count)
    {
        raiseOpenFileLimit();
        asio::ip::tcp::acceptor acceptor(io, {asio::ip::make_address("127.0.0.1"), 0});
        for (std::size_t i = 0; i < count; ++i) {
            peers.emplace_back(io);
            peers.back().connect(acceptor.local_endpoint());
            peers.back().non_blocking(true);
            auto session =
                std::make_shared<TcpSession>(SessionStream(acceptor.accept(), nullptr), SessionId(i + 1),
                                             owner, std::size_t(1) << 20, clock, flushes);
            session->start(0);
            sessions.push_back(std::move(session));
        }
        io.poll();
    }
    ~Sessions()
    {
        for (auto& session : sessions)
            session->close();
        io.poll();
    }
    void drainPeers()
    {
        static std::array<char, 64 * 1024> sink;
        for (auto& peer : peers) {
            boost::system::error_code ec;
            while (peer.read_some(asio::buffer(sink), ec) == sink.size()) {
            }
        }
    }

    asio::io_context io;
    std::shared_ptr<FlushBatch> flushes = std::make_shared<FlushBatch>(io);
    test::ManualClock clock;
    test::RecordingSessionOwner owner;
    std::vector<asio::ip::tcp::socket> peers;
    std::vector<std::shared_ptr<TcpSession>> sessions;
};

OutFrame broadcastFrame()
{
    return OutFrame::make(2500, 2516, std::string(120, 'b'));
}

void BM_BroadcastFanOut(benchmark::State& state)
{
    Sessions net(static_cast<std::size_t>(state.range(0)));
    const OutFrame frame = broadcastFrame();
    std::size_t allocations = 0;
    for (auto _ : state) {
        const std::size_t before = quorix::bench::allocationCount();
        // From a handler, as the service queues its broadcasts.
        asio::post(net.io, [&] {
            for (auto& session : net.sessions)
                session->send(frame);
        });
        net.io.poll();
        allocations += quorix::bench::allocationCount() - before;
        state.PauseTiming();
        net.drainPeers();
        state.ResumeTiming();
    }
    const double deliveries = double(state.iterations()) * double(net.sessions.size());
    state.counters["allocs_per_session"] = double(allocations) / deliveries;
    state.counters["writes_per_session"] = double(net.owner.writes) / deliveries;
    state.counters["per_session"] =
        benchmark::Counter(deliveries, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    if (net.owner.closed != 0)
        state.SkipWithError("a session closed");
}
BENCHMARK(BM_BroadcastFanOut)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

void BM_AnswersOfOneRead(benchmark::State& state)
{
    Sessions net(1);
    const auto answers = static_cast<std::size_t>(state.range(0));
    const OutFrame answer = OutFrame::make(2500, 2512, std::string(24, 'a'));
    TcpSession& session = *net.sessions.front();
    std::size_t allocations = 0;
    for (auto _ : state) {
        const std::size_t before = quorix::bench::allocationCount();
        asio::post(net.io, [&] {
            for (std::size_t i = 0; i < answers; ++i)
                session.send(answer);
        });
        net.io.poll();
        allocations += quorix::bench::allocationCount() - before;
        state.PauseTiming();
        net.drainPeers();
        state.ResumeTiming();
    }
    const double frames = double(state.iterations()) * double(answers);
    state.counters["allocs_per_frame"] = double(allocations) / frames;
    state.counters["writes_per_frame"] = double(net.owner.writes) / frames;
    if (net.owner.closed != 0)
        state.SkipWithError("the session closed");
}
BENCHMARK(BM_AnswersOfOneRead)->Arg(1)->Arg(4)->Arg(16);

} // namespace

BENCHMARK_MAIN();
