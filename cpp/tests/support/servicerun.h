#pragma once

// One run of a vote service core over a storage that outlives it (a SQLite file, a Redis), with a
// manager and a viewer of sub-channel 10:20 and the requests the restart tests make. The clock
// outlives the run, as the wall clock does.

#include "tests/support/servicetestsupport.h"

#include <map>

namespace quorix::service::test {

class ServiceRun
{
public:
    // Resumes the votes the storage (or the box, when given) holds open.
    ServiceRun(ManualClock& clock, VoteStorage& storage, BallotBox* box = nullptr);

    template <class Message> void request(SessionId id, std::uint32_t minType, const Message& message)
    {
        core.handle(id, minType, mpak::encode(message));
    }
    std::uint32_t create(const VoteInfo& vote);
    PStartVoteRes start(std::uint32_t voteId);
    // The result of the manager's scheduling of the vote's start for atUnix.
    std::uint32_t schedule(std::uint32_t voteId, std::int64_t atUnix);
    std::uint32_t close(std::uint32_t voteId, std::uint32_t jiFangId);
    std::uint32_t vote(SessionId id, std::uint32_t voteId, std::uint32_t jiFangId, std::uint32_t voteType,
                       std::uint32_t optionId, std::uint32_t tickets = 1);
    PUserVoteStateRes ticketState(SessionId id, std::uint32_t voteId, std::uint32_t jiFangId);
    PQueryVoteHisRecordRes history(SessionId id);

    RecordingSink sink;
    VoteServiceCore core;
    SessionId manager = 0;
    SessionId viewer = 0;

private:
    SessionId open(const SessionIdentity& who);

    std::map<SessionId, SessionIdentity> m_identities;
    SessionId m_lastId = 0;
};

} // namespace quorix::service::test
