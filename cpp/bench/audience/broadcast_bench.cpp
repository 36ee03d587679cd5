// A ten-option vote broadcast handled end to end: the frame body decoded by the protocol, the
// controller's start handling, and the normal vote window's refresh, all offscreen in the fake
// host. The second benchmark also lets Qt lay out and paint the visible window.

#include "tests/src/quorixapp/audiencehost.h"
#include "tests/src/quorixapp/votebuilders.h"

#include "src/quorixapp/entserviceinterface.h"
#include "src/quorixapp/quorixapp.h"
#include "src/quorixapp/quorixprotocol.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

std::string broadcastBody(quint32 round)
{
    std::vector<quint32> counts;
    for (quint32 option = 0; option < 10; ++option)
        counts.push_back((option * 37 + round) % 400);
    quorix::PBroadcastVote broadcast;
    broadcast.fullAllowance = 1;
    broadcast.status = quorix::kVoteStarted;
    broadcast.remainSeconds = 600;
    broadcast.jiFangId = 7;
    broadcast.vote = test::normalVote(counts, 10, 3);
    return mpak::encode(broadcast);
}

struct Setup
{
    Setup()
    {
        host.setChannelWindowActive(true);
        link.init(comptr<IComponentRoot>(host.root()));
        QuorixApp* app = QuorixApp::instance();
        protocol.init(&link, app->getChannelInterface(), app->getUserInterface());
        for (quint32 round = 0; round < 64; ++round)
            bodies.push_back(broadcastBody(round));
    }

    AudienceHost host;
    EntServiceInterface link;
    QuorixProtocol protocol;
    std::vector<std::string> bodies;
};

void BM_TenOptionBroadcast(benchmark::State& state)
{
    Setup setup;
    std::size_t round = 0;
    for (auto _ : state) {
        setup.protocol.onDataArrivedSlot(quorix::kVoteMajorType, quorix::VOTE_SYSTEM_BROADCAST_VOTE,
                                         setup.bodies[round++ % setup.bodies.size()]);
    }
}
BENCHMARK(BM_TenOptionBroadcast)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_TenOptionBroadcastWithRepaint(benchmark::State& state)
{
    Setup setup;
    std::size_t round = 0;
    for (auto _ : state) {
        setup.protocol.onDataArrivedSlot(quorix::kVoteMajorType, quorix::VOTE_SYSTEM_BROADCAST_VOTE,
                                         setup.bodies[round++ % setup.bodies.size()]);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_TenOptionBroadcastWithRepaint)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    // Log lines go where a host would send them, not to the terminal the numbers are read on.
    setenv("FENBASE_LOG_FILE", "/dev/null", 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    AudienceHost::ensureApplication();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
