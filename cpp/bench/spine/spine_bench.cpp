// Costs on the add-on's hot paths: a log statement whose level is off or on, and a host signal
// reaching its slots.

#include "fenlog.h"
#include "logcapture.h"
#include "src/quorixlog/quorixlog.h"
#include "relay.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

void BM_LogStatementDisabled(benchmark::State& state)
{
    setenv("FENBASE_LOG_LEVEL", "1", 1);
    for (auto _ : state)
        QLOG(2) << "reqStartVote voteId = " << 12345u << " jiFangId = " << 678u;
}
BENCHMARK(BM_LogStatementDisabled);

// Enabled into a capture (no file or terminal output), for texts that fit the stack buffer and
// texts that move to the heap.
void BM_LogStatementCaptured(benchmark::State& state)
{
    setenv("FENBASE_LOG_LEVEL", "0", 1);
    const std::string piece(static_cast<size_t>(state.range(0)), 'x');
    for (auto _ : state) {
        fenbase::LogCapture capture;
        QLOG(1) << "Sendmsg: maxType = " << 2500u << " minType = " << 15u << " " << piece;
    }
}
BENCHMARK(BM_LogStatementCaptured)->Arg(16)->Arg(2000);

class Receiver : public relay::trackable
{
public:
    void onData(unsigned id, const std::string& frame) { m_total += id + frame.size(); }
    unsigned long long m_total = 0;
};

void BM_RelayFire(benchmark::State& state)
{
    relay::signal2<unsigned, const std::string&> data;
    std::vector<std::unique_ptr<Receiver>> receivers;
    for (int i = 0; i < state.range(0); ++i) {
        receivers.push_back(std::make_unique<Receiver>());
        data.connect(receivers.back().get(), &Receiver::onData);
    }
    const std::string frame(64, 'f');
    for (auto _ : state)
        data.fire(1, frame);
    benchmark::DoNotOptimize(receivers.front()->m_total);
}
BENCHMARK(BM_RelayFire)->Arg(1)->Arg(8);

} // namespace

BENCHMARK_MAIN();
