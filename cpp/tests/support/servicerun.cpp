#include "tests/support/servicerun.h"

namespace quorix::service::test {

ServiceRun::ServiceRun(ManualClock& clock, VoteStorage& storage, BallotBox* box)
    : core(clock, storage, sink, {}, box)
{
    core.resumeOpenVotes();
    manager = open(identity(1, 255));
    viewer = open(identity(2, 25));
}

SessionId ServiceRun::open(const SessionIdentity& who)
{
    const SessionId id = ++m_lastId;
    EXPECT_TRUE(core.openSession(id, who));
    m_identities[id] = who;
    return id;
}

std::uint32_t ServiceRun::create(const VoteInfo& vote)
{
    request(manager, VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq{10, 20, vote, {}});
    return sink.last<PCreateVoteRes>(manager, VOTE_SYSTEM_CREATE_VOTE_RES).voteId;
}

PStartVoteRes ServiceRun::start(std::uint32_t voteId)
{
    request(manager, VOTE_SYSTEM_START_VOTE_REQ, PStartVoteReq{10, 20, voteId, 1, {}});
    return sink.last<PStartVoteRes>(manager, VOTE_SYSTEM_START_VOTE_RES);
}

std::uint32_t ServiceRun::schedule(std::uint32_t voteId, std::int64_t atUnix)
{
    request(manager, VOTE_SYSTEM_START_VOTE_REQ,
            scheduleRequest(m_identities.at(manager), voteId, std::to_string(atUnix)));
    return sink.last<PStartVoteRes>(manager, VOTE_SYSTEM_START_VOTE_RES).result;
}

std::uint32_t ServiceRun::close(std::uint32_t voteId, std::uint32_t jiFangId)
{
    request(manager, VOTE_SYSTEM_CLOSE_VOTEUI_REQ, PCloseVoteReq{10, 20, voteId, jiFangId, {}});
    return sink.last<PCloseVoteUiRes>(manager, VOTE_SYSTEM_CLOSE_VOTEUI_RES).result;
}

std::uint32_t ServiceRun::vote(SessionId id, std::uint32_t voteId, std::uint32_t jiFangId,
                               std::uint32_t voteType, std::uint32_t optionId, std::uint32_t tickets)
{
    const SessionIdentity& me = m_identities.at(id);
    request(id, VOTE_SYSTEM_USER_VOTE_REQ,
            PUserVoteReq{
                me.channelId, me.subChannelId, voteId, voteType, jiFangId, me.uid, optionId, tickets, {}});
    // A shared state answers votes in batches: the server's timer tick sends what is owed.
    if (core.answersOwed())
        core.tick();
    return sink.last<PUserVoteRes>(id, VOTE_SYSTEM_USER_VOTE_RES).result;
}

PUserVoteStateRes ServiceRun::ticketState(SessionId id, std::uint32_t voteId, std::uint32_t jiFangId)
{
    const SessionIdentity& me = m_identities.at(id);
    request(id, VOTE_SYSTEM_USER_VOTE_STATE_REQ,
            PUserVoteStateReq{me.channelId, me.subChannelId, voteId, 0, jiFangId, me.uid, {}, {}});
    return sink.last<PUserVoteStateRes>(id, VOTE_SYSTEM_USER_VOTE_STATE_RES);
}

PQueryVoteHisRecordRes ServiceRun::history(SessionId id)
{
    const SessionIdentity& me = m_identities.at(id);
    request(id, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ,
            PQueryVoteHisRecordReq{me.channelId, me.subChannelId, {}});
    return sink.last<PQueryVoteHisRecordRes>(id, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES);
}

} // namespace quorix::service::test
