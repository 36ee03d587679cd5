#include "tests/support/servicetestsupport.h"

#include <quorix/protocol/serviceframe.h>

#include <sqlite3.h>

#include <fstream>
#include <sstream>

namespace quorix::service::test {

void RecordingSink::deliver(SessionId session, const OutFrame& frame)
{
    const mpak::ServiceFrame decoded = mpak::decodeFrame(std::string(frame.frame()));
    m_frames[session].push_back({decoded.maxType, decoded.minType, decoded.payload, frame.holdMs()});
    m_recipients[decoded.minType].push_back(session);
}

std::vector<ReceivedFrame> RecordingSink::framesOf(SessionId session, std::uint32_t minType) const
{
    std::vector<ReceivedFrame> matching;
    const auto it = m_frames.find(session);
    if (it == m_frames.end())
        return matching;
    for (const ReceivedFrame& frame : it->second) {
        if (frame.minType == minType)
            matching.push_back(frame);
    }
    return matching;
}

std::size_t RecordingSink::total() const
{
    std::size_t n = 0;
    for (const auto& [session, frames] : m_frames)
        n += frames.size();
    return n;
}

SessionIdentity identity(std::uint32_t uid, std::uint32_t role, std::uint32_t subChannelId,
                         std::uint32_t channelId)
{
    SessionIdentity id;
    id.uid = uid;
    id.imid = uid + 90000;
    id.nick = "user" + std::to_string(uid);
    id.role = role;
    id.channelId = channelId;
    id.subChannelId = subChannelId;
    return id;
}

VoteInfo normalVote(const std::string& name, std::uint32_t options, std::uint32_t perUser,
                    std::uint32_t perOption, std::uint32_t limitSeconds)
{
    VoteInfo vote;
    vote.name = name;
    vote.limitTime = limitSeconds;
    vote.voteType = kNormalVote;
    vote.limits = {{kTicketsPerUser, perUser}, {kTicketsPerOption, perOption}};
    for (std::uint32_t i = 0; i < options; ++i)
        vote.options[i] = "option " + std::to_string(i + 1);
    return vote;
}

VoteInfo groupVote(const std::string& name, std::uint32_t teamA, std::uint32_t teamB)
{
    VoteInfo vote = normalVote(name, teamA + teamB, 3, 1);
    vote.voteType = kGroupVote;
    vote.groupNames = {{0, "Red"}, {1, "Blue"}};
    for (std::uint32_t i = 0; i < teamA + teamB; ++i)
        vote.optionGroup[i] = i < teamA ? 0 : 1;
    return vote;
}

VoteInfo judgeVote(const std::string& name, const std::vector<std::uint32_t>& judgeUids)
{
    VoteInfo vote;
    vote.name = name;
    vote.limitTime = 300;
    vote.voteType = kJudgeVote;
    vote.limits = {{kTicketsPerUser, 5}, {kTicketsPerOption, 5}};
    vote.options = {{0, name}};
    for (std::uint32_t i = 0; i < judgeUids.size(); ++i) {
        const std::uint32_t uid = judgeUids[i];
        vote.judgeOrder[i] = uid;
        vote.judges[uid] = JudgeInfo{uid, uid + 90000, "judge" + std::to_string(uid), 0, {}};
    }
    return vote;
}

void damageTree(const std::string& databasePath, const char* name)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(databasePath.c_str(), &db));
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db,
                                            "SELECT rootpage, (SELECT page_size FROM pragma_page_size) "
                                            "FROM sqlite_master WHERE name = ?1",
                                            -1, &stmt, nullptr));
    sqlite3_bind_text(stmt, 1, name, -1, SQLITE_STATIC);
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(stmt));
    const std::int64_t page = sqlite3_column_int64(stmt, 0);
    const std::int64_t pageSize = sqlite3_column_int64(stmt, 1);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    ASSERT_GT(page, 1);
    std::fstream file(databasePath, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp((page - 1) * pageSize);
    file << std::string(std::size_t(pageSize), '\xff');
    ASSERT_TRUE(file.good());
}

CoreHarness::CoreHarness(CoreOptions options) : core(clock, storage, sink, options) {}

SessionId CoreHarness::open(const SessionIdentity& identity)
{
    const SessionId id = ++m_lastId;
    EXPECT_TRUE(core.openSession(id, identity));
    identities[id] = identity;
    return id;
}

Disposition CoreHarness::send(SessionId id, std::uint32_t minType, const std::string& body)
{
    return core.handle(id, minType, body);
}

std::uint32_t CoreHarness::create(SessionId manager, const VoteInfo& vote)
{
    const SessionIdentity& me = identities.at(manager);
    request(manager, VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{me.channelId, me.subChannelId, vote, {}});
    const auto res = sink.last<PCreateVoteRes>(manager, VOTE_SYSTEM_CREATE_VOTE_RES);
    EXPECT_EQ(res.result, 0u);
    EXPECT_NE(res.voteId, 0u);
    return res.voteId;
}

PStartVoteRes CoreHarness::start(SessionId manager, std::uint32_t voteId)
{
    const SessionIdentity& me = identities.at(manager);
    request(manager, VOTE_SYSTEM_START_VOTE_REQ,
            PStartVoteReq{me.channelId, me.subChannelId, voteId, me.uid, {}});
    const auto res = sink.last<PStartVoteRes>(manager, VOTE_SYSTEM_START_VOTE_RES);
    EXPECT_EQ(res.result, 0u);
    EXPECT_NE(res.jiFangId, 0u);
    return res;
}

std::uint32_t CoreHarness::schedule(SessionId manager, std::uint32_t voteId, std::int64_t atUnix)
{
    request(manager, VOTE_SYSTEM_START_VOTE_REQ,
            scheduleRequest(identities.at(manager), voteId, std::to_string(atUnix)));
    return sink.last<PStartVoteRes>(manager, VOTE_SYSTEM_START_VOTE_RES).result;
}

PStartVoteReq scheduleRequest(const SessionIdentity& who, std::uint32_t voteId, const std::string& atUnix)
{
    return PStartVoteReq{who.channelId, who.subChannelId, voteId, who.uid, {{"startAt", atUnix}}};
}

PStartVoteReq cancelScheduleRequest(const SessionIdentity& who, std::uint32_t voteId)
{
    return PStartVoteReq{who.channelId, who.subChannelId, voteId, who.uid, {{"cancelSchedule", "1"}}};
}

std::uint32_t CoreHarness::vote(SessionId viewer, const PStartVoteRes& started, std::uint32_t voteType,
                                std::uint32_t optionId, std::uint32_t tickets)
{
    const SessionIdentity& me = identities.at(viewer);
    PUserVoteReq req{me.channelId, me.subChannelId, started.voteId, voteType, started.jiFangId,
                     me.uid,       optionId,        tickets,        {}};
    request(viewer, VOTE_SYSTEM_USER_VOTE_REQ, req);
    return sink.last<PUserVoteRes>(viewer, VOTE_SYSTEM_USER_VOTE_RES).result;
}

void expectVoteCountsFollowChanges(VoteStorage& storage)
{
    enum Step
    {
        Add,
        Replace,
        Remove,
        RemoveAgain,
        RemoveUnknown
    };
    const struct
    {
        Step step;
        SubChannelKey place;
        std::size_t channel10, channel11, total;
    } rows[] = {
        {Add, {10, 20}, 1, 0, 1},         {Add, {10, 21}, 2, 0, 2},           {Add, {10, 21}, 3, 0, 3},
        {Add, {11, 20}, 3, 1, 4},         {Replace, {10, 21}, 3, 1, 4},       {Remove, {10, 21}, 2, 1, 3},
        {RemoveAgain, {10, 21}, 2, 1, 3}, {RemoveUnknown, {10, 99}, 2, 1, 3}, {Remove, {11, 20}, 2, 0, 2},
        {Remove, {10, 20}, 1, 0, 1},      {Remove, {10, 21}, 0, 0, 0},
    };
    std::map<SubChannelKey, std::vector<std::uint32_t>> ids;
    std::uint32_t removed = 0;
    int row = 0;
    for (const auto& r : rows) {
        std::vector<std::uint32_t>& here = ids[r.place];
        switch (r.step) {
        case Add:
            here.push_back(storage.addVote(r.place, normalVote("counted", 2, 1, 1)));
            break;
        case Replace: {
            VoteInfo renamed = normalVote("renamed", 2, 1, 1);
            renamed.voteId = here.back();
            EXPECT_TRUE(storage.replaceVote(r.place, renamed));
            break;
        }
        case Remove:
            removed = here.back();
            here.pop_back();
            EXPECT_TRUE(storage.removeVote(r.place, removed));
            break;
        case RemoveAgain:
            EXPECT_FALSE(storage.removeVote(r.place, removed));
            break;
        case RemoveUnknown:
            EXPECT_FALSE(storage.removeVote(r.place, 987654));
            break;
        }
        EXPECT_EQ(storage.channelVoteCount(10), r.channel10) << "row " << row;
        EXPECT_EQ(storage.channelVoteCount(11), r.channel11) << "row " << row;
        EXPECT_EQ(storage.channelVoteCount(12), 0u) << "row " << row;
        EXPECT_EQ(storage.totalVoteCount(), r.total) << "row " << row;
        ++row;
    }
}

std::optional<double> metricSample(const std::string& exposition, const std::string& series)
{
    std::istringstream lines(exposition);
    const std::string prefix = series + " ";
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::stod(line.substr(prefix.size()));
    }
    return std::nullopt;
}

} // namespace quorix::service::test
