// The in-process service over SQLite: by the time an answer reaches the host, its write is
// committed (another connection to the file sees it), and a new service resumes the open vote.

#include "voteservice/core/embeddedvoteservice.h"
#include "tests/support/servicetestsupport.h"
#include <quorix/protocol/serviceframe.h>
#include "voteservice/sqlite/sqlitevotestorage.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace quorix;
using namespace quorix::service;
using namespace quorix::service::test;

namespace {

template <class Message> std::string frameOf(std::uint32_t minType, const Message& message)
{
    return mpak::encodeFrame(kVoteMajorType, minType, mpak::encode(message));
}

template <class Message> Message lastOf(const std::vector<std::string>& frames, std::uint32_t minType)
{
    Message message;
    for (auto it = frames.rbegin(); it != frames.rend(); ++it) {
        const mpak::ServiceFrame frame = mpak::decodeFrame(*it);
        if (frame.minType == minType) {
            EXPECT_TRUE(mpak::decode(frame.payload, message));
            return message;
        }
    }
    ADD_FAILURE() << "no frame of minor type " << minType;
    return message;
}

} // namespace

TEST(EmbeddedDurableTest, AnswersLeaveAfterTheirWritesAreCommittedAndTheVoteResumes)
{
    const std::string path = ::testing::TempDir() + "/quorix-embedded.db";
    for (const char* suffix : {"", "-wal", "-shm"})
        std::remove((path + suffix).c_str());
    std::vector<std::string> frames;
    SqliteVoteStorage observer(path);
    std::uint32_t voteId = 0;
    std::uint32_t jiFangId = 0;
    {
        EmbeddedVoteService service(std::make_unique<SqliteVoteStorage>(path));
        const SessionId me =
            service.connect(identity(1, 255), [&](const std::string& f) { frames.push_back(f); });
        service.send(
            me, frameOf(VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, normalVote("v", 2, 2, 1), {}}));
        voteId = lastOf<PCreateVoteRes>(frames, VOTE_SYSTEM_CREATE_VOTE_RES).voteId;
        service.send(me, frameOf(VOTE_SYSTEM_START_VOTE_REQ, PStartVoteReq{10, 20, voteId, 1, {}}));
        jiFangId = lastOf<PStartVoteRes>(frames, VOTE_SYSTEM_START_VOTE_RES).jiFangId;
        service.send(me, frameOf(VOTE_SYSTEM_USER_VOTE_REQ,
                                 PUserVoteReq{10, 20, voteId, kNormalVote, jiFangId, 1, 1, 1, {}}));
        ASSERT_EQ(lastOf<PUserVoteRes>(frames, VOTE_SYSTEM_USER_VOTE_RES).result, 0u);

        const auto seen = observer.openVotes();
        ASSERT_EQ(seen.size(), 1u) << "the start was answered before it was committed";
        ASSERT_EQ(seen[0].ballots.size(), 1u) << "the vote was answered before it was committed";
        EXPECT_EQ(seen[0].ballots[0].optionId, 1u);
    }
    frames.clear();
    EmbeddedVoteService again(std::make_unique<SqliteVoteStorage>(path));
    const SessionId me = again.connect(identity(1, 255), [&](const std::string& f) { frames.push_back(f); });
    EXPECT_EQ(lastOf<PBroadcastVote>(frames, VOTE_SYSTEM_BROADCAST_VOTE).jiFangId, jiFangId);
    again.send(me, frameOf(VOTE_SYSTEM_USER_VOTE_STATE_REQ,
                           PUserVoteStateReq{10, 20, voteId, kNormalVote, jiFangId, 1, {}, {}}));
    const auto state = lastOf<PUserVoteStateRes>(frames, VOTE_SYSTEM_USER_VOTE_STATE_RES);
    EXPECT_EQ(state.ticketsUsed, 1u);
    EXPECT_EQ(state.vote.optionTickets, (U32Map{{0, 0}, {1, 1}}));
}

namespace {

// Memory storage whose commits or writes can be made to fail, as a full disk would.
class FailingStorage : public MemoryVoteStorage
{
public:
    bool commit() override { return !failCommit; }
    void addBallot(const SubChannelKey&, const Ballot&) override
    {
        if (throwOnBallot)
            throw SqliteVoteStorage::Error("disk full");
    }
    bool failCommit = false;
    bool throwOnBallot = false;
};

} // namespace

TEST(EmbeddedDurableTest, AFailingStorageSilencesTheServiceInsteadOfAnsweringOrThrowing)
{
    for (const bool throwing : {false, true}) {
        auto owned = std::make_unique<FailingStorage>();
        FailingStorage& storage = *owned;
        std::vector<std::string> frames;
        EmbeddedVoteService service(std::move(owned));
        const SessionId me =
            service.connect(identity(1, 255), [&](const std::string& f) { frames.push_back(f); });
        service.send(
            me, frameOf(VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, normalVote("v", 2, 2, 1), {}}));
        const std::uint32_t voteId = lastOf<PCreateVoteRes>(frames, VOTE_SYSTEM_CREATE_VOTE_RES).voteId;
        service.send(me, frameOf(VOTE_SYSTEM_START_VOTE_REQ, PStartVoteReq{10, 20, voteId, 1, {}}));
        const std::uint32_t jiFangId = lastOf<PStartVoteRes>(frames, VOTE_SYSTEM_START_VOTE_RES).jiFangId;

        (throwing ? storage.throwOnBallot : storage.failCommit) = true;
        frames.clear();
        EXPECT_NO_THROW(
            service.send(me, frameOf(VOTE_SYSTEM_USER_VOTE_REQ,
                                     PUserVoteReq{10, 20, voteId, kNormalVote, jiFangId, 1, 1, 1, {}})));
        EXPECT_NO_THROW(service.tick());
        EXPECT_TRUE(frames.empty()) << (throwing ? "throwing write" : "failed commit") << ": an answer left";
    }
}
