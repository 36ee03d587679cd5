#pragma once

// Bodies of the vote messages (major type 2500), field by field in wire order. Every body ends
// with `extend`, which the client sends empty and never reads. Fields the protocol leaves unnamed
// are aux1, aux2, … in body order. Qt-free, shared with the vote service and the tools.

#include <quorix/protocol/mpak.h>
#include <quorix/protocol/voterecords.h>
#include <quorix/protocol/wirefields.h>

#include <cstdint>
#include <string>

namespace quorix {

constexpr std::uint32_t kVoteMajorType = 2500;

enum VoteMinorType : std::uint32_t
{
    VOTE_SYSTEM_CREATE_VOTE_REQ = 1,
    VOTE_SYSTEM_CREATE_VOTE_RES = 2,
    VOTE_SYSTEM_UPDATE_VOTE_REQ = 3,
    VOTE_SYSTEM_UPDATE_VOTE_RES = 4,
    VOTE_SYSTEM_START_VOTE_REQ = 5,
    VOTE_SYSTEM_START_VOTE_RES = 6,
    VOTE_SYSTEM_END_VOTE_REQ = 7,
    VOTE_SYSTEM_END_VOTE_RES = 8,
    VOTE_SYSTEM_DELETE_VOTE_REQ = 11,
    VOTE_SYSTEM_DELETE_VOTE_RES = 12,
    VOTE_SYSTEM_USER_VOTE_REQ = 13,
    VOTE_SYSTEM_USER_VOTE_RES = 14,
    VOTE_SYSTEM_USER_VOTE_STATE_REQ = 15,
    VOTE_SYSTEM_USER_VOTE_STATE_RES = 16,
    VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ = 17,
    VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES = 18,
    VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ = 25,
    VOTE_SYSTEM_BATCH_DELETE_VOTE_RES = 26,
    VOTE_SYSTEM_BROADCAST_VOTE = 27,
    VOTE_SYSTEM_QUERY_ALL_VOTE_REQ = 28,
    VOTE_SYSTEM_QUERY_ALL_VOTE_RES = 29,
    VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE = 30,
    VOTE_SYSTEM_QUERY_NICKNAME_REQ = 31,
    VOTE_SYSTEM_QUERY_NICKNAME_RES = 32,
    VOTE_SYSTEM_CLOSE_VOTEUI_REQ = 33,
    VOTE_SYSTEM_CLOSE_VOTEUI_RES = 34,
};

// Vote broadcast status.
enum BroadcastStatus : std::uint32_t
{
    kVoteStarted = 0,
    kVoteEnded = 1
};

// ---- requests (client → service) ----------------------------------------------------------------

struct PCreateVoteReq
{
    std::uint32_t channelId = 0;
    std::uint32_t subChannelId = 0;
    VoteInfo vote;
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PCreateVoteReq, channelId, subChannelId, vote, extend)
};

struct PUpdateVoteReq
{
    std::uint32_t channelId = 0;
    std::uint32_t subChannelId = 0;
    std::uint32_t voteId = 0;
    VoteInfo vote;
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PUpdateVoteReq, channelId, subChannelId, voteId, vote, extend)
};

struct PStartVoteReq
{
    std::uint32_t channelId = 0;
    std::uint32_t subChannelId = 0;
    std::uint32_t voteId = 0;
    std::uint32_t uid = 0;
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PStartVoteReq, channelId, subChannelId, voteId, uid, extend)
};

struct PEndVoteReq
{
    std::uint32_t channelId = 0;
    std::uint32_t subChannelId = 0;
    std::uint32_t voteId = 0;
    std::uint32_t aux1 = 0; // never filled, sent as 0
    std::uint32_t jiFangId = 0;
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PEndVoteReq, channelId, subChannelId, voteId, aux1, jiFangId, extend)
};

struct PDeleteVoteReq
{
    std::uint32_t channelId = 0;
    std::uint32_t subChannelId = 0;
    std::uint32_t voteId = 0;
    std::uint32_t voteType = 0;
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PDeleteVoteReq, channelId, subChannelId, voteId, voteType, extend)
};

struct PUserVoteReq
{
    std::uint32_t channelId = 0;
    std::uint32_t subChannelId = 0;
    std::uint32_t voteId = 0;
    std::uint32_t voteType = 0;
    std::uint32_t jiFangId = 0;
    std::uint32_t uid = 0;
    std::uint32_t optionId = 0; // 0 for a judge vote
    std::uint32_t tickets = 0;  // 1, or the points (1 to 5) of a judge
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PUserVoteReq, channelId, subChannelId, voteId, voteType, jiFangId, uid, optionId,
                       tickets, extend)
};

struct PUserVoteStateReq
{
    std::uint32_t channelId = 0;
    std::uint32_t subChannelId = 0;
    std::uint32_t voteId = 0;
    std::uint32_t voteType = 0;
    std::uint32_t jiFangId = 0;
    std::uint32_t uid = 0;
    TextMap aux1; // sent empty
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PUserVoteStateReq, channelId, subChannelId, voteId, voteType, jiFangId, uid, aux1,
                       extend)
};

// Also the body of VOTE_SYSTEM_QUERY_ALL_VOTE_REQ.
struct PQueryVoteHisRecordReq
{
    std::uint32_t channelId = 0;
    std::uint32_t subChannelId = 0;
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PQueryVoteHisRecordReq, channelId, subChannelId, extend)
};
using PQueryAllVoteReq = PQueryVoteHisRecordReq;

struct PBatchDeleteVoteReq
{
    std::uint32_t channelId = 0;
    std::uint32_t subChannelId = 0;
    U32Map voteTypes; // voteId -> voteType
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PBatchDeleteVoteReq, channelId, subChannelId, voteTypes, extend)
};

struct PQueryNicknameReq
{
    std::uint32_t imid = 0;
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PQueryNicknameReq, imid, extend)
};

struct PCloseVoteReq
{
    std::uint32_t channelId = 0;
    std::uint32_t subChannelId = 0;
    std::uint32_t voteId = 0;
    std::uint32_t jiFangId = 0;
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PCloseVoteReq, channelId, subChannelId, voteId, jiFangId, extend)
};

// ---- answers and pushes (service → client) ------------------------------------------------------

// VOTE_SYSTEM_CREATE_VOTE_RES and VOTE_SYSTEM_UPDATE_VOTE_RES.
struct PCreateVoteRes
{
    std::uint32_t result = 0;
    std::uint32_t voteId = 0;
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PCreateVoteRes, result, voteId, extend)
};
using PUpdateVoteRes = PCreateVoteRes;

// VOTE_SYSTEM_START_VOTE_RES; the same layout serves the end (8), delete (12) and close (34) answers.
struct PStartVoteRes
{
    std::uint32_t result = 0;
    std::uint32_t aux1 = 0;
    std::uint32_t aux2 = 0;
    std::uint32_t voteId = 0;
    std::uint32_t jiFangId = 0;
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PStartVoteRes, result, aux1, aux2, voteId, jiFangId, extend)
};
using PEndVoteRes = PStartVoteRes;
using PDeleteVoteRes = PStartVoteRes;
using PCloseVoteUiRes = PStartVoteRes;

struct PUserVoteRes
{
    std::uint32_t result = 0;
    std::uint32_t aux1 = 0;
    std::uint32_t aux2 = 0;
    std::uint32_t aux3 = 0;
    std::uint32_t aux4 = 0;
    std::uint32_t aux5 = 0;
    std::uint32_t aux6 = 0;
    std::uint32_t aux7 = 0;
    std::uint32_t aux8 = 0;
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PUserVoteRes, result, aux1, aux2, aux3, aux4, aux5, aux6, aux7, aux8, extend)
};

// VOTE_SYSTEM_USER_VOTE_STATE_RES carries a UserTicketInfo (voterecords.h) as its whole body.
using PUserVoteStateRes = UserTicketInfo;

struct PQueryVoteHisRecordRes
{
    std::uint32_t result = 0;
    std::uint32_t aux1 = 0;
    std::uint32_t aux2 = 0;
    HistoryRecords records; // record key -> record
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PQueryVoteHisRecordRes, result, aux1, aux2, records, extend)
};

struct PBatchDeleteVoteRes
{
    std::uint32_t aux1 = 0;
    std::uint32_t aux2 = 0;
    std::uint32_t aux3 = 0;
    U32Map aux4;
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PBatchDeleteVoteRes, aux1, aux2, aux3, aux4, extend)
};

struct PBroadcastVote
{
    std::uint32_t aux1 = 0;
    std::uint32_t aux2 = 0;
    std::uint32_t fullAllowance = 0; // 1: viewers start with the record's full allowance
    std::uint32_t status = 0;        // BroadcastStatus
    std::uint32_t remainSeconds = 0; // read as signed 32-bit
    std::uint32_t jiFangId = 0;
    VoteInfo vote;
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PBroadcastVote, aux1, aux2, fullAllowance, status, remainSeconds, jiFangId, vote,
                       extend)

    std::int32_t remainSecondsSigned() const { return static_cast<std::int32_t>(remainSeconds); }
};

struct PQueryAllVoteRes
{
    std::uint32_t result = 0;
    std::uint32_t aux1 = 0;
    std::uint32_t aux2 = 0;
    VoteList votes;
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PQueryAllVoteRes, result, aux1, aux2, votes, extend)
};

struct PBroadcastChannelVote
{
    std::uint32_t aux1 = 0;
    std::uint32_t aux2 = 0;
    VoteList votes;
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PBroadcastChannelVote, aux1, aux2, votes, extend)
};

struct PQueryNicknameRes
{
    std::uint32_t aux1 = 0;
    std::uint32_t imid = 0;
    std::uint32_t uid = 0; // 0 when no such user exists
    std::string nick;      // UTF-8
    ExtendMap extend;
    QUORIX_WIRE_FIELDS(PQueryNicknameRes, aux1, imid, uid, nick, extend)
};

} // namespace quorix
