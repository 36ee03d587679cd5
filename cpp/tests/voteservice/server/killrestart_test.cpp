// quorix-voted killed with SIGKILL while votes pour in, then started again over the same data
// folder: every vote answered with result 0 is counted exactly once, and nothing that was never
// sent is counted. A vote sent but not answered before the kill may or may not have been saved.
// `quorix-voted backup` taken while votes pour in: a service started on the copy holds every vote
// answered before the backup began.
// Stopped with SIGTERM instead, it drains: over host connections and web viewers alike the votes
// counted after the restart are exactly those answered with result 0.

#include "tests/support/servicetestsupport.h"
#include "tests/support/tcptestclient.h"
#include "tests/support/votedprocess.h"
#include "tests/voteservice/web/webtestclient.h"

#include <quorix/protocol/hostcontrol.h>

#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

extern char** environ;

using namespace quorix;
using namespace quorix::service;
using namespace quorix::service::test;

namespace {

constexpr std::uint32_t kViewers = 100;
constexpr std::uint32_t kVotesEach = 10;
constexpr std::uint32_t kOptions = 5;
constexpr std::uint32_t kRoundsBeforeKill = 4;

// quorix-voted on the test's data folder, listening on a free port.
std::unique_ptr<VotedProcess> startVoted(const std::string& dataDir)
{
    auto voted = std::make_unique<VotedProcess>(
        QUORIX_VOTED_PATH, std::vector<std::string>{"--listen", "127.0.0.1:0", "--data", dataDir});
    voted->waitForPort();
    return voted;
}

struct Viewer
{
    SessionIdentity who;
    TcpTestClient client;
    std::uint32_t sent = 0;
    std::vector<std::uint32_t> results; // answers to the user votes, in the order sent
};

std::uint32_t optionOf(std::uint32_t viewer)
{
    return viewer % kOptions;
}

struct StartedVote
{
    std::uint32_t voteId = 0;
    std::uint32_t jiFangId = 0;
};

// Creates and starts a normal vote of kOptions options in channel 10, sub-channel 20 through a
// manager's connection, with `tickets` tickets per user and per option; zeros when refused.
StartedVote startVote(TcpTestClient& manager, const std::string& name, std::uint32_t tickets)
{
    manager.sendVote(VOTE_SYSTEM_CREATE_VOTE_REQ,
                     PCreateVoteReq{10, 20, normalVote(name, kOptions, tickets, tickets, 600), {}});
    const auto created = manager.waitForMessage<PCreateVoteRes>(VOTE_SYSTEM_CREATE_VOTE_RES);
    EXPECT_TRUE(created && created->result == 0);
    if (!created)
        return {};
    manager.sendVote(VOTE_SYSTEM_START_VOTE_REQ, PStartVoteReq{10, 20, created->voteId, 1, {}});
    const auto started = manager.waitForMessage<PStartVoteRes>(VOTE_SYSTEM_START_VOTE_RES);
    EXPECT_TRUE(started && started->result == 0);
    return started ? StartedVote{created->voteId, started->jiFangId} : StartedVote{};
}

// `count` viewers (uids from firstUid) welcomed in channel 10, sub-channel 20.
std::vector<std::unique_ptr<Viewer>> openViewers(std::uint16_t port, std::uint32_t count,
                                                 std::uint32_t firstUid)
{
    std::vector<std::unique_ptr<Viewer>> viewers;
    for (std::uint32_t i = 0; i < count; ++i) {
        auto viewer = std::make_unique<Viewer>();
        viewer->who = identity(firstUid + i, 25);
        EXPECT_TRUE(viewer->client.connect(port));
        EXPECT_EQ(viewer->client.hello(viewer->who), 0u);
        viewers.push_back(std::move(viewer));
    }
    return viewers;
}

} // namespace

// Repeated: where the kill lands varies from run to run.
class KillRestartTest : public ::testing::TestWithParam<int>
{
};

TEST_P(KillRestartTest, EveryAnsweredVoteIsCountedOnceAfterSigkill)
{
    const std::string dataDir = ::testing::TempDir() + "/quorix-kill-restart-" + std::to_string(GetParam());
    std::filesystem::remove_all(dataDir);
    auto voted = startVoted(dataDir);
    ASSERT_NE(voted->port(), 0) << "quorix-voted did not start";

    TcpTestClient manager;
    const SessionIdentity boss = identity(1, 255);
    ASSERT_TRUE(manager.connect(voted->port()));
    ASSERT_EQ(manager.hello(boss), 0u);
    const StartedVote started = startVote(manager, "kill", kVotesEach);
    ASSERT_NE(started.voteId, 0u);
    std::vector<std::unique_ptr<Viewer>> viewers = openViewers(voted->port(), kViewers, 1000);
    const auto sendRound = [&] {
        for (auto& viewer : viewers) {
            const PUserVoteReq req{10,
                                   20,
                                   started.voteId,
                                   kNormalVote,
                                   started.jiFangId,
                                   viewer->who.uid,
                                   optionOf(viewer->who.uid),
                                   1,
                                   {}};
            if (viewer->client.sendVote(VOTE_SYSTEM_USER_VOTE_REQ, req))
                ++viewer->sent;
        }
    };
    const auto collect = [](Viewer& viewer, int timeoutMs) {
        while (const auto frame = viewer.client.readFrame(timeoutMs)) {
            PUserVoteRes res;
            if (frame->minType == VOTE_SYSTEM_USER_VOTE_RES && mpak::decode(frame->payload, res)) {
                viewer.results.push_back(res.result);
                return true;
            }
        }
        return false;
    };
    // The kill lands as soon as answers arrive, while most votes of the first rounds are in flight.
    for (std::uint32_t round = 0; round < kRoundsBeforeKill; ++round)
        sendRound();
    ASSERT_TRUE(collect(*viewers.back(), 3000)) << "no vote was answered before the kill";
    voted->kill(SIGKILL);
    for (std::uint32_t round = kRoundsBeforeKill; round < kVotesEach; ++round)
        sendRound();

    std::uint32_t answeredOk = 0, unanswered = 0;
    for (auto& viewer : viewers) {
        while (collect(*viewer, 2000)) {
        }
        for (std::uint32_t result : viewer->results) {
            EXPECT_EQ(result, 0u) << "viewer " << viewer->who.uid;
            answeredOk += result == 0;
        }
        unanswered += viewer->sent - std::uint32_t(viewer->results.size());
    }
    ASSERT_GT(answeredOk, 0u) << "the kill came before any vote was answered";
    std::printf("answered with 0 before the kill: %u, sent but unanswered: %u\n", answeredOk, unanswered);

    voted = startVoted(dataDir);
    ASSERT_NE(voted->port(), 0) << "quorix-voted did not restart";
    U32Map usedTotal;
    U32Map counted;
    for (auto& viewer : viewers) {
        TcpTestClient again;
        ASSERT_TRUE(again.connect(voted->port()));
        ASSERT_EQ(again.hello(viewer->who), 0u);
        again.sendVote(VOTE_SYSTEM_USER_VOTE_STATE_REQ,
                       PUserVoteStateReq{
                           10, 20, started.voteId, kNormalVote, started.jiFangId, viewer->who.uid, {}, {}});
        const auto state = again.waitForMessage<PUserVoteStateRes>(VOTE_SYSTEM_USER_VOTE_STATE_RES);
        ASSERT_TRUE(state && state->state == 0) << "the vote did not resume";
        const std::uint32_t ok = std::uint32_t(viewer->results.size());
        EXPECT_GE(state->ticketsUsed, ok) << "viewer " << viewer->who.uid << " lost answered votes";
        EXPECT_LE(state->ticketsUsed, viewer->sent)
            << "viewer " << viewer->who.uid << " counted more than sent";
        EXPECT_EQ(state->usedPerOption.at(optionOf(viewer->who.uid)), state->ticketsUsed);
        usedTotal[optionOf(viewer->who.uid)] += state->ticketsUsed;
        counted = state->vote.optionTickets;
    }
    EXPECT_EQ(counted, usedTotal) << "the vote's counts differ from the viewers' tickets";
    std::filesystem::remove_all(dataDir);
}

INSTANTIATE_TEST_SUITE_P(Attempts, KillRestartTest, ::testing::Range(0, 3));

namespace {

// `quorix-voted backup ARGS`: its exit status and what it printed (both streams).
int runBackup(const std::string& args, std::string& printed)
{
    FILE* out = ::popen((std::string(QUORIX_VOTED_PATH) + " backup " + args + " 2>&1").c_str(), "r");
    if (out == nullptr)
        return -1;
    printed.clear();
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, out))
        printed += chunk;
    const int status = ::pclose(out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string integrityOf(const std::string& path)
{
    sqlite3* db = nullptr;
    std::string answer;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK)
        sqlite3_exec(
            db, "PRAGMA integrity_check",
            [](void* text, int, char** values, char**) {
                *static_cast<std::string*>(text) += values[0] ? values[0] : "";
                return 0;
            },
            &answer, nullptr);
    sqlite3_close(db);
    return answer;
}

constexpr std::uint32_t kHostViewers = 40;
constexpr std::uint32_t kWebViewers = 20;
constexpr std::uint32_t kDrainRounds = 8;
constexpr std::uint32_t kRoundsBeforeTerm = 4;
constexpr int kDrainTimeoutSeconds = 5;

// quorix-voted on the data folder with its web face; both ports come from its log, which is read
// on (not drained) so the test can wait for the drain's lines.
struct DrainingService
{
    explicit DrainingService(const std::string& dataDir, int drainTimeoutSeconds)
        : process(QUORIX_VOTED_PATH, {"--listen", "127.0.0.1:0", "--data", dataDir, "--http", "127.0.0.1:0",
                                      "--drain-timeout", std::to_string(drainTimeoutSeconds)})
    {
        tcpPort = VotedProcess::portOf(process.readLineWith("listening on 127.0.0.1:"));
        httpPort = VotedProcess::portOf(process.readLineWith("http listening on 127.0.0.1:"));
    }
    VotedProcess process;
    std::uint16_t tcpPort = 0;
    std::uint16_t httpPort = 0;
};

// A running normal vote with room for every vote the drain test sends; its manager leaves.
StartedVote startVote(std::uint16_t tcpPort)
{
    TcpTestClient manager;
    EXPECT_TRUE(manager.connect(tcpPort));
    EXPECT_EQ(manager.hello(identity(1, 255)), std::optional<std::uint32_t>(0));
    return startVote(manager, "drain", 100);
}

// One voter over either transport: what it sent and which of its votes were answered with 0.
struct Voter
{
    std::uint32_t uid = 0;
    std::unique_ptr<TcpTestClient> host;
    std::unique_ptr<WebTestClient> web;
    std::uint32_t sent = 0;
    std::uint32_t acknowledged = 0;
    bool toldGoingAway = false;
    std::optional<std::uint16_t> closeCode;
};

void sendVote(Voter& voter, const StartedVote& vote)
{
    bool sent = false;
    if (voter.host)
        sent = voter.host->sendVote(
            VOTE_SYSTEM_USER_VOTE_REQ,
            PUserVoteReq{
                10, 20, vote.voteId, kNormalVote, vote.jiFangId, voter.uid, optionOf(voter.uid), 1, {}});
    else
        sent = voter.web->sendText(R"({"id":)" + std::to_string(voter.sent) + R"(,"type":"vote","voteId":)" +
                                   std::to_string(vote.voteId) + R"(,"optionId":)" +
                                   std::to_string(optionOf(voter.uid)) + "}");
    voter.sent += sent;
}

// Reads everything the service sends until it ends the connection, then closes this side.
void readToTheEnd(Voter& voter)
{
    if (voter.host) {
        while (const auto frame = voter.host->readFrame(3000)) {
            PUserVoteRes res;
            if (frame->maxType == 2500 && frame->minType == VOTE_SYSTEM_USER_VOTE_RES &&
                mpak::decode(frame->payload, res))
                voter.acknowledged += res.result == 0;
            voter.toldGoingAway = voter.toldGoingAway || (frame->maxType == kControlMajorType &&
                                                          frame->minType == kControlGoingAway);
        }
        voter.host.reset();
        return;
    }
    while (const auto message = voter.web->readMessage()) {
        if (message->value("type", "") == "result")
            voter.acknowledged += message->value("result", 1) == 0;
    }
    voter.closeCode = voter.web->closeCode();
    voter.web.reset();
}

} // namespace

TEST(OnlineBackupTest, ACopyTakenWhileVotesPourInHoldsEveryVoteAnsweredBeforeItBegan)
{
    constexpr std::uint32_t kBackupViewers = 20;
    constexpr std::uint32_t kRounds = 40;
    const std::string dataDir = ::testing::TempDir() + "/quorix-backup-live";
    const std::string copyDir = ::testing::TempDir() + "/quorix-backup-restored";
    std::filesystem::remove_all(dataDir);
    std::filesystem::remove_all(copyDir);
    ASSERT_EQ(::mkdir(copyDir.c_str(), 0700), 0);
    auto voted = startVoted(dataDir);
    ASSERT_NE(voted->port(), 0);
    TcpTestClient manager;
    ASSERT_TRUE(manager.connect(voted->port()));
    ASSERT_EQ(manager.hello(identity(1, 255)), 0u);
    const StartedVote started = startVote(manager, "backup", kRounds);
    ASSERT_NE(started.voteId, 0u);
    std::vector<std::unique_ptr<Viewer>> viewers = openViewers(voted->port(), kBackupViewers, 2000);
    // Votes go on in rounds while the backup runs; an answer read before the backup began counts
    // in answeredBefore.
    std::atomic<bool> backupBegan{false}, stop{false};
    std::atomic<std::uint32_t> rounds{0};
    std::vector<std::uint32_t> answeredBefore(kBackupViewers, 0);
    std::uint32_t answeredAfter = 0;
    std::thread voting([&] {
        for (std::uint32_t round = 0; round < kRounds && !stop; ++round) {
            for (auto& viewer : viewers) {
                const PUserVoteReq req{10,
                                       20,
                                       started.voteId,
                                       kNormalVote,
                                       started.jiFangId,
                                       viewer->who.uid,
                                       optionOf(viewer->who.uid),
                                       1,
                                       {}};
                viewer->sent += viewer->client.sendVote(VOTE_SYSTEM_USER_VOTE_REQ, req);
            }
            for (std::uint32_t i = 0; i < kBackupViewers; ++i) {
                const auto res = viewers[i]->client.waitForMessage<PUserVoteRes>(VOTE_SYSTEM_USER_VOTE_RES);
                const bool before = !backupBegan;
                if (!res || res->result != 0)
                    continue;
                viewers[i]->results.push_back(res->result);
                (before ? answeredBefore[i] : answeredAfter) += 1;
            }
            ++rounds;
        }
    });
    while (rounds < 3)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    backupBegan = true;
    std::string printed;
    const int status = runBackup("--data " + dataDir + " --out " + copyDir + "/votes.db", printed);
    const std::uint32_t roundsAtEnd = rounds;
    while (rounds < roundsAtEnd + 3 && rounds < kRounds)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop = true;
    voting.join();
    ASSERT_EQ(status, 0) << printed;
    const std::string said = "backup of " + dataDir + "/votes.db written to " + copyDir + "/votes.db (";
    EXPECT_EQ(printed.rfind(said, 0), 0u) << printed;
    EXPECT_NE(printed.find(" pages, integrity_check ok)\n", said.size()), std::string::npos) << printed;
    EXPECT_GT(answeredAfter, 0u) << "the service kept answering while and after the copy was made";
    EXPECT_EQ(integrityOf(copyDir + "/votes.db"), "ok");
    EXPECT_FALSE(std::filesystem::exists(copyDir + "/lock")) << "the copy took no lock";

    auto restored = startVoted(copyDir);
    ASSERT_NE(restored->port(), 0) << "no service starts on the copy";
    std::uint32_t before = 0;
    for (std::uint32_t i = 0; i < kBackupViewers; ++i) {
        Viewer& viewer = *viewers[i];
        TcpTestClient again;
        ASSERT_TRUE(again.connect(restored->port()));
        ASSERT_EQ(again.hello(viewer.who), 0u);
        again.sendVote(
            VOTE_SYSTEM_USER_VOTE_STATE_REQ,
            PUserVoteStateReq{10, 20, started.voteId, kNormalVote, started.jiFangId, viewer.who.uid, {}, {}});
        const auto state = again.waitForMessage<PUserVoteStateRes>(VOTE_SYSTEM_USER_VOTE_STATE_RES);
        ASSERT_TRUE(state && state->state == 0) << "the vote is not open in the copy";
        EXPECT_GE(state->ticketsUsed, answeredBefore[i]) << "viewer " << viewer.who.uid << " lost votes";
        EXPECT_LE(state->ticketsUsed, viewer.sent)
            << "viewer " << viewer.who.uid << " counted more than sent";
        before += answeredBefore[i];
    }
    std::printf("answered before the backup: %u, after it began: %u\n", before, answeredAfter);
    EXPECT_GT(before, 0u);
    std::filesystem::remove_all(dataDir);
    std::filesystem::remove_all(copyDir);
}

// A backup that cannot be made says why, exits non-zero and leaves no file under the name asked.
TEST(OnlineBackupTest, ABackupThatCannotBeMadeSaysWhyAndLeavesNoFile)
{
    const std::string dataDir = ::testing::TempDir() + "/quorix-backup-refusals";
    std::filesystem::remove_all(dataDir);
    {
        auto voted = startVoted(dataDir);
        ASSERT_NE(voted->port(), 0);
        EXPECT_EQ(voted->terminate(), 0);
    }
    const std::string out = ::testing::TempDir() + "/quorix-backup-refused.db";
    const struct
    {
        std::string args;
        int status;
        std::string says;
        std::string leavesNo;
    } rows[] = {
        {"--data " + dataDir + "-missing --out " + out, 1,
         "quorix-voted: backup failed: no vote database at " + dataDir + "-missing/votes.db", out},
        {"--data " + dataDir + " --out /nonexistent/copy.db", 1,
         "quorix-voted: backup failed: cannot create a file beside /nonexistent/copy.db",
         "/nonexistent/copy.db"},
        {"--data " + dataDir + " --out " + dataDir + "/votes.db", 1,
         "quorix-voted: backup failed: the copy cannot replace its own database", ""},
        {"--data " + dataDir, 2, "quorix-voted: --out is required", out},
        {"--memory --data " + dataDir + " --out " + out, 2,
         "quorix-voted: unknown option or argument: --memory", out},
    };
    for (const auto& row : rows) {
        std::string printed;
        EXPECT_EQ(runBackup(row.args, printed), row.status) << row.args << ": " << printed;
        EXPECT_EQ(printed.rfind(row.says, 0), 0u) << row.args << ": " << printed;
        if (!row.leavesNo.empty()) {
            EXPECT_FALSE(std::filesystem::exists(row.leavesNo)) << row.args;
        }
    }
    for (const auto& entry : std::filesystem::directory_iterator(dataDir))
        EXPECT_EQ(entry.path().filename().string().find(".partial-"), std::string::npos) << entry.path();
}

TEST(DrainTest, EveryVoteAnsweredOverEitherTransportBeforeSigtermIsCountedAndNoOtherIs)
{
    const std::string dataDir = ::testing::TempDir() + "/quorix-drain";
    std::filesystem::remove_all(dataDir);
    auto service = std::make_unique<DrainingService>(dataDir, kDrainTimeoutSeconds);
    ASSERT_NE(service->tcpPort, 0) << "quorix-voted did not start";
    ASSERT_NE(service->httpPort, 0);
    const StartedVote vote = startVote(service->tcpPort);
    ASSERT_NE(vote.voteId, 0u);

    std::vector<Voter> voters(kHostViewers + kWebViewers);
    for (std::uint32_t i = 0; i < voters.size(); ++i) {
        Voter& voter = voters[i];
        voter.uid = 1000 + i;
        if (i < kHostViewers) {
            voter.host = std::make_unique<TcpTestClient>();
            ASSERT_TRUE(voter.host->connect(service->tcpPort));
            ASSERT_EQ(voter.host->hello(identity(voter.uid, 25)), std::optional<std::uint32_t>(0));
        } else {
            voter.web = std::make_unique<WebTestClient>(service->httpPort);
            ASSERT_TRUE(voter.web->openWebSocket("/api/v1/session?uid=" + std::to_string(voter.uid) +
                                                 "&channel=10&sub=20"));
            ASSERT_TRUE(voter.web->waitForType("vote"));
        }
    }
    WebTestClient events(service->httpPort);
    ASSERT_TRUE(events.openEventStream("/api/v1/channels/10/events?uid=3&sub=20"));
    ASSERT_TRUE(events.readEvent());

    for (std::uint32_t round = 0; round < kDrainRounds; ++round) {
        if (round == kRoundsBeforeTerm)
            service->process.signal(SIGTERM);
        for (Voter& voter : voters)
            sendVote(voter, vote);
    }
    const auto termSent = std::chrono::steady_clock::now();
    std::uint32_t sent = 0, acknowledged = 0;
    for (Voter& voter : voters) {
        readToTheEnd(voter);
        sent += voter.sent;
        acknowledged += voter.acknowledged;
        if (voter.uid < 1000 + kHostViewers)
            EXPECT_TRUE(voter.toldGoingAway) << "host viewer " << voter.uid;
        else
            EXPECT_EQ(voter.closeCode, std::optional<std::uint16_t>(1001)) << "web viewer " << voter.uid;
    }
    // The progress events of the votes first, then the end of the stream, well before a read would give up.
    const auto streamRead = std::chrono::steady_clock::now();
    while (events.readEvent(std::chrono::seconds(kDrainTimeoutSeconds))) {
    }
    EXPECT_LT(std::chrono::steady_clock::now() - streamRead, std::chrono::seconds(kDrainTimeoutSeconds - 1))
        << "the event stream was not ended";
    EXPECT_EQ(service->process.exitStatusWithin(kDrainTimeoutSeconds * 1000), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - termSent, std::chrono::seconds(kDrainTimeoutSeconds));
    EXPECT_NE(service->process.readLineWith("drained in"), "") << "the drain did not end by itself";
    ASSERT_GT(acknowledged, 0u);
    std::printf("sent %u votes, %u answered with 0 before the exit\n", sent, acknowledged);

    service = std::make_unique<DrainingService>(dataDir, kDrainTimeoutSeconds);
    ASSERT_NE(service->tcpPort, 0) << "quorix-voted did not restart";
    for (const Voter& voter : voters) {
        TcpTestClient again;
        ASSERT_TRUE(again.connect(service->tcpPort));
        ASSERT_EQ(again.hello(identity(voter.uid, 25)), std::optional<std::uint32_t>(0));
        again.sendVote(VOTE_SYSTEM_USER_VOTE_STATE_REQ,
                       PUserVoteStateReq{10, 20, vote.voteId, kNormalVote, vote.jiFangId, voter.uid, {}, {}});
        const auto state = again.waitForMessage<PUserVoteStateRes>(VOTE_SYSTEM_USER_VOTE_STATE_RES);
        ASSERT_TRUE(state && state->state == 0) << "the vote did not resume";
        EXPECT_EQ(state->ticketsUsed, voter.acknowledged) << "voter " << voter.uid;
    }
    std::filesystem::remove_all(dataDir);
}

// A peer that reads nothing holds the drain up to the timeout (what was sent to it is not all
// delivered); then it is cut and the log says so. A peer that has everything is closed at once,
// whether or not it closes its side.
TEST(DrainTest, TheDrainTimeoutCutsWhatIsLeftAndTheLogSaysHowMany)
{
    const std::string dataDir = ::testing::TempDir() + "/quorix-drain-timeout";
    std::filesystem::remove_all(dataDir);
    DrainingService service(dataDir, 1);
    ASSERT_NE(service.tcpPort, 0);
    TcpTestClient manager;
    ASSERT_TRUE(manager.connect(service.tcpPort));
    ASSERT_EQ(manager.hello(identity(1, 255)), std::optional<std::uint32_t>(0));
    VoteInfo large = normalVote("large", 10, 1, 1);
    large.auxText2.assign(1000, 'x');
    for (int i = 0; i < 12; ++i) {
        manager.sendVote(VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, large, {}});
        ASSERT_TRUE(manager.waitFor(VOTE_SYSTEM_CREATE_VOTE_RES));
    }
    TcpTestClient stuck;
    stuck.setReceiveBuffer(4096);
    ASSERT_TRUE(stuck.connect(service.tcpPort));
    ASSERT_EQ(stuck.hello(identity(1000, 255)), std::optional<std::uint32_t>(0));
    // A manager's lists of about 14 KB each, far more than its receive buffer holds.
    for (int i = 0; i < 20; ++i)
        stuck.sendVote(VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, PQueryAllVoteReq{10, 20, {}});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    service.process.signal(SIGTERM);
    EXPECT_EQ(service.process.exitStatusWithin(3000), 0);
    const std::string line = service.process.readLineWith("cutting");
    EXPECT_NE(line.find("drain timeout after 1 s: cutting 1 connections"), std::string::npos) << line;
    std::filesystem::remove_all(dataDir);
}
