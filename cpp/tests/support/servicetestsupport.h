#pragma once

// Test doubles and helpers for the vote service: a clock the test drives, a sink that records every
// frame per session, the process's time zone for one test, and builders for the requests a client
// sends.

#include "voteservice/core/clock.h"
#include "voteservice/core/memoryvotestorage.h"
#include "voteservice/core/outputsink.h"
#include "voteservice/core/timetextformatter.h"
#include <quorix/protocol/votemessages.h>
#include "voteservice/core/voteservicecore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorix::service::test {

class ManualClock : public Clock
{
public:
    std::int64_t steadyMs() const override { return m_ms; }
    std::int64_t unixSeconds() const override { return m_unixBase + m_ms / 1000; }
    void advanceMs(std::int64_t ms) { m_ms += ms; }
    void advanceSeconds(std::int64_t s) { m_ms += s * 1000; }

private:
    std::int64_t m_ms = 1000000;
    std::int64_t m_unixBase = 1800000000; // 2027-01-15 08:00:00 UTC at the start
};

// Makes zone the process's time zone (TimeTextFormatter::useZone) until destroyed, then restores
// the TZ the test started with.
class ZoneScope
{
public:
    explicit ZoneScope(const std::string& zone) : m_hadZone(std::getenv("TZ") != nullptr)
    {
        if (m_hadZone)
            m_before = std::getenv("TZ");
        EXPECT_TRUE(TimeTextFormatter::useZone(zone)) << zone;
    }
    ~ZoneScope()
    {
        if (m_hadZone)
            setenv("TZ", m_before.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ZoneScope(const ZoneScope&) = delete;
    ZoneScope& operator=(const ZoneScope&) = delete;

private:
    bool m_hadZone;
    std::string m_before;
};

struct ReceivedFrame
{
    std::uint32_t maxType = 0;
    std::uint32_t minType = 0;
    std::string payload;
    std::int64_t holdMs = 0; // how long the transport may keep it for the session's next frame
};

class RecordingSink : public OutputSink
{
public:
    void deliver(SessionId session, const OutFrame& frame) override;

    const std::vector<ReceivedFrame>& framesOf(SessionId session) { return m_frames[session]; }
    std::vector<ReceivedFrame> framesOf(SessionId session, std::uint32_t minType) const;
    // The sessions that got a frame of minType, in the order of delivery over all sessions.
    const std::vector<SessionId>& recipients(std::uint32_t minType) { return m_recipients[minType]; }
    void clear()
    {
        m_frames.clear();
        m_recipients.clear();
    }
    std::size_t total() const;

    // Decodes the last frame of the given minor type sent to the session; fails the test when none.
    template <class Message> Message last(SessionId session, std::uint32_t minType) const
    {
        const auto frames = framesOf(session, minType);
        Message message;
        if (frames.empty()) {
            ADD_FAILURE() << "no frame of minor type " << minType << " for session " << session;
            return message;
        }
        EXPECT_TRUE(mpak::decode(frames.back().payload, message));
        return message;
    }

private:
    std::map<SessionId, std::vector<ReceivedFrame>> m_frames;
    std::map<std::uint32_t, std::vector<SessionId>> m_recipients;
};

SessionIdentity identity(std::uint32_t uid, std::uint32_t role, std::uint32_t subChannelId = 20,
                         std::uint32_t channelId = 10);

VoteInfo normalVote(const std::string& name, std::uint32_t options, std::uint32_t perUser,
                    std::uint32_t perOption, std::uint32_t limitSeconds = 300);
VoteInfo groupVote(const std::string& name, std::uint32_t teamA, std::uint32_t teamB);
VoteInfo judgeVote(const std::string& name, const std::vector<std::uint32_t>& judgeUids);

// A start request of `who` that schedules the vote for atUnix (its extend's startAt) instead of
// starting it, and one that cancels its schedule (scheduleextend.h).
PStartVoteReq scheduleRequest(const SessionIdentity& who, std::uint32_t voteId, const std::string& atUnix);
PStartVoteReq cancelScheduleRequest(const SessionIdentity& who, std::uint32_t voteId);

// Adds and removes votes in two channels of an empty storage and checks its per-channel and total
// vote counts after each step.
void expectVoteCountsFollowChanges(VoteStorage& storage);

// The value of one series ("name" or "name{label=\"value\",...}", labels as exposed) in a Prometheus
// text exposition; nullopt when it is not there.
std::optional<double> metricSample(const std::string& exposition, const std::string& series);

// Overwrites the first page of a table's or index's tree in a closed SQLite file with 0xff bytes,
// as a failing disk might.
void damageTree(const std::string& databasePath, const char* name);

// A core with its clock, storage and sink, and helpers that speak for a session.
class CoreHarness
{
public:
    explicit CoreHarness(CoreOptions options = {});

    SessionId open(const SessionIdentity& identity);
    Disposition send(SessionId id, std::uint32_t minType, const std::string& body);
    template <class Message> Disposition request(SessionId id, std::uint32_t minType, const Message& message)
    {
        return send(id, minType, mpak::encode(message));
    }

    // Whole conversations; each fails the test when the service refuses.
    std::uint32_t create(SessionId manager, const VoteInfo& vote);
    PStartVoteRes start(SessionId manager, std::uint32_t voteId);
    // The result of scheduling the vote's start for atUnix (scheduleRequest).
    std::uint32_t schedule(SessionId manager, std::uint32_t voteId, std::int64_t atUnix);
    std::uint32_t vote(SessionId viewer, const PStartVoteRes& started, std::uint32_t voteType,
                       std::uint32_t optionId, std::uint32_t tickets = 1);

    ManualClock clock;
    MemoryVoteStorage storage;
    RecordingSink sink;
    VoteServiceCore core;
    std::map<SessionId, SessionIdentity> identities;

private:
    SessionId m_lastId = 0;
};

} // namespace quorix::service::test
