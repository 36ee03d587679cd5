#include <quorix/protocol/votemessagetable.h>
#include "tests/support/wirevectors.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <typeinfo>

namespace {

using namespace quorix;
using wirevectors::fromHex;
using wirevectors::toHex;

// Checks one hand-written vector in both directions: the expected body encodes to exactly the
// vector's bytes, and the bytes decode completely to the expected body.
template <class Message> void checkVector(std::uint32_t minType, const Message& expected)
{
    const wirevectors::WireVector& v = wirevectors::byMinType(minType);
    SCOPED_TRACE(v.name);
    const std::string wire = fromHex(v.hex);
    EXPECT_EQ(toHex(wire), toHex(mpak::encode(expected)));
    Message decoded;
    EXPECT_TRUE(mpak::decode(wire, decoded));
    EXPECT_TRUE(decoded == expected);
}

PStartVoteRes startLayout(std::uint32_t result, std::uint32_t aux1, std::uint32_t aux2, std::uint32_t voteId,
                          std::uint32_t jiFangId)
{
    PStartVoteRes r;
    r.result = result;
    r.aux1 = aux1;
    r.aux2 = aux2;
    r.voteId = voteId;
    r.jiFangId = jiFangId;
    return r;
}

TEST(VoteMessages, EveryMessageMatchesItsHandWrittenVector)
{
    const VoteInfo vote = wirevectors::sampleVote();

    PCreateVoteReq create;
    create.channelId = 10;
    create.subChannelId = 20;
    create.vote = vote;
    checkVector(VOTE_SYSTEM_CREATE_VOTE_REQ, create);

    PCreateVoteRes created;
    created.voteId = 7;
    checkVector(VOTE_SYSTEM_CREATE_VOTE_RES, created);

    PUpdateVoteReq update;
    update.channelId = 10;
    update.subChannelId = 20;
    update.voteId = 7;
    update.vote = vote;
    checkVector(VOTE_SYSTEM_UPDATE_VOTE_REQ, update);

    PUpdateVoteRes updated;
    updated.result = 3;
    updated.voteId = 7;
    updated.extend = {{"k", "v"}};
    checkVector(VOTE_SYSTEM_UPDATE_VOTE_RES, updated);

    PStartVoteReq start;
    start.channelId = 10;
    start.subChannelId = 20;
    start.voteId = 7;
    start.uid = 1000;
    checkVector(VOTE_SYSTEM_START_VOTE_REQ, start);
    checkVector(VOTE_SYSTEM_START_VOTE_RES, startLayout(0, 1, 2, 7, 99));

    PEndVoteReq end;
    end.channelId = 10;
    end.subChannelId = 20;
    end.voteId = 12;
    end.jiFangId = 34;
    checkVector(VOTE_SYSTEM_END_VOTE_REQ, end);
    EXPECT_EQ(24u, mpak::encode(end).size());
    checkVector(VOTE_SYSTEM_END_VOTE_RES, startLayout(2, 0, 0, 7, 99));

    PDeleteVoteReq del;
    del.channelId = 10;
    del.subChannelId = 20;
    del.voteId = 7;
    del.voteType = kJudgeVote;
    checkVector(VOTE_SYSTEM_DELETE_VOTE_REQ, del);
    checkVector(VOTE_SYSTEM_DELETE_VOTE_RES, startLayout(0, 0, 0, 7, 0));

    PUserVoteReq userVote;
    userVote.channelId = 10;
    userVote.subChannelId = 20;
    userVote.voteId = 7;
    userVote.voteType = kNormalVote;
    userVote.jiFangId = 99;
    userVote.uid = 1000;
    userVote.optionId = 3;
    userVote.tickets = 1;
    checkVector(VOTE_SYSTEM_USER_VOTE_REQ, userVote);

    PUserVoteRes userVoted;
    userVoted.result = 5;
    userVoted.aux1 = 1;
    userVoted.aux2 = 2;
    userVoted.aux3 = 3;
    userVoted.aux4 = 4;
    userVoted.aux5 = 5;
    userVoted.aux6 = 6;
    userVoted.aux7 = 7;
    userVoted.aux8 = 8;
    checkVector(VOTE_SYSTEM_USER_VOTE_RES, userVoted);

    PUserVoteStateReq stateReq;
    stateReq.channelId = 10;
    stateReq.subChannelId = 20;
    stateReq.voteId = 7;
    stateReq.voteType = kGroupVote;
    stateReq.jiFangId = 99;
    stateReq.uid = 1000;
    checkVector(VOTE_SYSTEM_USER_VOTE_STATE_REQ, stateReq);

    UserTicketInfo state;
    state.voteType = kGroupVote;
    state.ticketsPerUser = 3;
    state.ticketsPerOption = 2;
    state.ticketsUsed = 1;
    state.usedPerOption = {{1, 1}};
    checkVector(VOTE_SYSTEM_USER_VOTE_STATE_RES, state);

    PQueryVoteHisRecordReq historyReq;
    historyReq.channelId = 10;
    historyReq.subChannelId = 20;
    checkVector(VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, historyReq);
    checkVector(VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, PQueryAllVoteReq(historyReq));

    PQueryVoteHisRecordRes history;
    history.records = {{3, wirevectors::sampleHistory()}};
    checkVector(VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES, history);

    PBatchDeleteVoteReq batch;
    batch.channelId = 10;
    batch.subChannelId = 20;
    batch.voteTypes = {{8, kJudgeVote}, {7, kNormalVote}};
    checkVector(VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ, batch);

    PBatchDeleteVoteRes batchRes;
    batchRes.aux2 = 1;
    batchRes.aux3 = 2;
    batchRes.aux4 = {{7, 0}};
    checkVector(VOTE_SYSTEM_BATCH_DELETE_VOTE_RES, batchRes);

    PBroadcastVote broadcast;
    broadcast.fullAllowance = 1;
    broadcast.status = kVoteStarted;
    broadcast.remainSeconds = 60;
    broadcast.jiFangId = 99;
    broadcast.vote = vote;
    checkVector(VOTE_SYSTEM_BROADCAST_VOTE, broadcast);

    PQueryAllVoteRes all;
    all.votes = {vote, VoteInfo()};
    checkVector(VOTE_SYSTEM_QUERY_ALL_VOTE_RES, all);

    PBroadcastChannelVote channelVotes;
    channelVotes.votes = {vote};
    checkVector(VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE, channelVotes);

    PQueryNicknameReq nickReq;
    nickReq.imid = 1234;
    checkVector(VOTE_SYSTEM_QUERY_NICKNAME_REQ, nickReq);
    EXPECT_EQ(8u, mpak::encode(nickReq).size());

    PQueryNicknameRes nick;
    nick.imid = 1234;
    nick.uid = 1000;
    nick.nick = "Bo";
    checkVector(VOTE_SYSTEM_QUERY_NICKNAME_RES, nick);

    PCloseVoteReq close;
    close.channelId = 10;
    close.subChannelId = 20;
    close.voteId = 7;
    close.jiFangId = 99;
    checkVector(VOTE_SYSTEM_CLOSE_VOTEUI_REQ, close);
    checkVector(VOTE_SYSTEM_CLOSE_VOTEUI_RES, startLayout(0, 0, 0, 7, 99));
}

TEST(VoteMessages, VectorsCoverEveryMinorTypeOnce)
{
    const std::uint32_t used[] = {1,  2,  3,  4,  5,  6,  7,  8,  11, 12, 13, 14, 15,
                                  16, 17, 18, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34};
    ASSERT_EQ(std::size(used), wirevectors::all().size());
    for (std::uint32_t minType : used)
        EXPECT_NO_THROW(wirevectors::byMinType(minType)) << minType;
}

// Each row of the message table against its hand-written vector: the row carries the vector's
// name, and the vector decodes completely as the row's body and encodes back to the same bytes.
// Minor types without a row are not visited.
TEST(VoteMessageTable, EveryRowReadsItsVectorAsItsBody)
{
    std::size_t rows = 0;
    for (std::uint32_t minType = 0; minType < 64; ++minType) {
        visitVoteMessage(minType, [&](auto message) {
            using Message = decltype(message);
            const wirevectors::WireVector& v = wirevectors::byMinType(Message::minType);
            SCOPED_TRACE(v.name);
            EXPECT_EQ(Message::minType, minType);
            EXPECT_STREQ(Message::name, v.name);
            const std::string wire = fromHex(v.hex);
            typename Message::Body body;
            EXPECT_TRUE(mpak::decode(wire, body));
            EXPECT_EQ(toHex(mpak::encode(body)), toHex(wire));
            ++rows;
        });
    }
    EXPECT_EQ(rows, wirevectors::all().size());
}

// The service answers a request with the next minor type and counts it under the request's short
// name; only requests have one.
TEST(VoteMessageTable, EveryRequestIsAnsweredByTheNextMinorType)
{
    for (std::uint32_t minType = 0; minType < 64; ++minType) {
        visitVoteMessage(minType, [&](auto message) {
            using Message = decltype(message);
            SCOPED_TRACE(Message::name);
            if constexpr (Message::kind == VoteMessageKind::Request) {
                EXPECT_EQ(VoteMessage<Message::minType + 1>::kind, VoteMessageKind::Answer);
                EXPECT_NE(Message::shortName, nullptr);
            } else {
                EXPECT_EQ(Message::shortName, nullptr);
            }
        });
    }
}

TEST(VoteRecords, EmptyVoteInfoIs74Bytes)
{
    const std::string wire = mpak::encode(VoteInfo());
    ASSERT_EQ(74u, wire.size());
    EXPECT_EQ(std::string(74, '\0'), wire);
    VoteInfo decoded;
    decoded.name = "stale";
    EXPECT_TRUE(mpak::decode(wire, decoded));
    EXPECT_TRUE(decoded == VoteInfo());
}

// Hostile counts are judged by the fewest bytes an element can take; for every record that is the
// size of its default encoding.
template <class Record> void expectMinSizeIsDefaultEncoding()
{
    EXPECT_EQ(mpak::encode(Record()).size(), mpak::wireMinSize<Record>()) << typeid(Record).name();
}

TEST(VoteRecords, FewestWireBytesAreTheDefaultEncoding)
{
    EXPECT_EQ(74u, mpak::wireMinSize<VoteInfo>());
    expectMinSizeIsDefaultEncoding<JudgeInfo>();
    expectMinSizeIsDefaultEncoding<VoteHistoryRecord>();
    expectMinSizeIsDefaultEncoding<UserTicketInfo>();
    expectMinSizeIsDefaultEncoding<PBroadcastVote>();
    expectMinSizeIsDefaultEncoding<PQueryVoteHisRecordRes>();

    // Two records announced, bytes for one and a half: refused as a whole, position kept.
    const std::string wire = fromHex("02000000") + std::string(74 + 37, '\0');
    mpak::Unpack up(wire);
    VoteList votes;
    EXPECT_THROW(up >> votes, mpak::UnpackError);
    EXPECT_EQ(wire.size(), up.size());
}

TEST(VoteRecords, JudgesGoOutByUidWhileOrderKeepsTheManagersOrder)
{
    VoteInfo v;
    v.voteType = kJudgeVote;
    v.judgeOrder = {{0, 700}, {1, 500}};
    JudgeInfo first;
    first.uid = 700;
    JudgeInfo second;
    second.uid = 500;
    v.judges = {{700, first}, {500, second}};
    const std::string wire = mpak::encode(v);
    // judgeOrder: count 2, 0 → 700, 1 → 500; judges: count 2, key 500 first.
    EXPECT_NE(std::string::npos,
              wire.find(fromHex("02000000 00000000 bc020000 01000000 f4010000 02000000 f4010000 f4010000")));
    VoteInfo decoded;
    ASSERT_TRUE(mpak::decode(wire, decoded));
    EXPECT_EQ(700u, decoded.judgeOrder.at(0));
    EXPECT_EQ(500u, decoded.judges.begin()->first);
}

TEST(VoteRecords, LookupsTreatMissingEntriesAsZero)
{
    const VoteInfo v = wirevectors::sampleVote();
    EXPECT_EQ(3u, v.ticketLimit(kTicketsPerUser));
    EXPECT_EQ(2u, v.ticketLimit(kTicketsPerOption));
    EXPECT_EQ(5u, v.ticketsOf(1));
    EXPECT_EQ(0u, v.ticketsOf(0));
    EXPECT_EQ(0u, VoteInfo().ticketLimit(kTicketsPerUser));
}

// A body cut anywhere decodes its leading fields, leaves the rest at their defaults and is
// reported as incomplete; bytes after the last field are ignored.
TEST(VoteMessages, ShortBodiesDecodeAsFarAsTheyGo)
{
    const std::string full = fromHex(wirevectors::byMinType(VOTE_SYSTEM_START_VOTE_RES).hex);

    PStartVoteRes eight;
    EXPECT_FALSE(mpak::decode(full.substr(0, 8), eight));
    EXPECT_TRUE(eight == startLayout(0, 1, 0, 0, 0));

    PStartVoteRes cutInField;
    EXPECT_FALSE(mpak::decode(full.substr(0, 14), cutInField));
    EXPECT_TRUE(cutInField == startLayout(0, 1, 2, 0, 0));

    PStartVoteRes trailing;
    EXPECT_TRUE(mpak::decode(full + "junk", trailing));
    EXPECT_TRUE(trailing == startLayout(0, 1, 2, 7, 99));

    PStartVoteRes empty;
    EXPECT_FALSE(mpak::decode(std::string(), empty));
    EXPECT_TRUE(empty == PStartVoteRes());
}

TEST(VoteMessages, CutInsideANestedRecordKeepsItsLeadingFields)
{
    const std::string full = fromHex(wirevectors::byMinType(VOTE_SYSTEM_BROADCAST_VOTE).hex);
    // 24 bytes of header fields, then VoteInfo: aux1, aux2, voteId, name "Q1" (4 bytes) end at 44.
    PBroadcastVote cut;
    EXPECT_FALSE(mpak::decode(full.substr(0, 45), cut));
    EXPECT_EQ(99u, cut.jiFangId);
    EXPECT_EQ(7u, cut.vote.voteId);
    EXPECT_EQ("Q1", cut.vote.name);
    EXPECT_EQ(0u, cut.vote.limitTime);
    EXPECT_TRUE(cut.vote.options.empty());

    // Every prefix decodes without throwing and never reports completeness early.
    for (std::size_t n = 0; n < full.size(); ++n) {
        PBroadcastVote partial;
        EXPECT_FALSE(mpak::decode(full.substr(0, n), partial)) << n;
    }
}

TEST(VoteMessages, ACutContainerKeepsItsDefault)
{
    const std::string full = fromHex(wirevectors::byMinType(VOTE_SYSTEM_QUERY_ALL_VOTE_RES).hex);
    PQueryAllVoteRes cut;
    EXPECT_FALSE(mpak::decode(full.substr(0, full.size() - 10), cut));
    EXPECT_TRUE(cut.votes.empty()) << "a vote list cut short must not be taken as the channel's list";
}

template <class Message> void decodeAsOne(const std::string& wire)
{
    Message message;
    mpak::decode(wire, message);
}

// Decodes `wire` as each of the given message types.
template <class... Messages> void decodeAs(const std::string& wire)
{
    (decodeAsOne<Messages>(wire), ...);
}

void decodeAsEveryType(const std::string& wire)
{
    decodeAs<PCreateVoteReq, PUpdateVoteReq, PUserVoteStateReq, PBatchDeleteVoteReq, PStartVoteRes,
             PUserVoteRes, UserTicketInfo, PQueryVoteHisRecordRes, PBatchDeleteVoteRes, PBroadcastVote,
             PQueryAllVoteRes, PBroadcastChannelVote, PQueryNicknameRes>(wire);
}

// Every vector with single bytes overwritten (counts and lengths turned huge or zero) is decoded
// as every message type; run under the sanitizers this shows that no input reads out of bounds.
TEST(VoteMessages, MutatedBodiesDecodeWithoutFault)
{
    std::size_t decodedBodies = 0;
    for (const wirevectors::WireVector& v : wirevectors::all()) {
        const std::string wire = fromHex(v.hex);
        for (std::size_t at = 0; at < wire.size(); ++at) {
            for (char value : {'\x00', '\x01', '\x7f', '\xff'}) {
                std::string mutated = wire;
                mutated[at] = value;
                ASSERT_NO_THROW(decodeAsEveryType(mutated)) << v.name << " byte " << at;
                ++decodedBodies;
            }
        }
    }
    EXPECT_GT(decodedBodies, 4000u);
}

TEST(VoteMessages, RemainingSecondsReadSigned)
{
    PBroadcastVote b;
    b.remainSeconds = 0xfffffffbu;
    EXPECT_EQ(-5, b.remainSecondsSigned());
}

} // namespace
