#pragma once

// The vote messages, one row each: minor type, body type, kind and, for a request, its short name
// (the service's metric label). The JSON names, the service's and the add-on's dispatch and the
// metric names are all made from this list, so a message is added or changed in one place.
//
// VoteMessage<minType> is a row as a type: Body, minType, name (the minor type's identifier),
// kind and shortName. visitVoteMessage picks the row of a minor type known only at run time.

#include <quorix/protocol/votemessages.h>

#include <cstdint>

namespace quorix {

enum class VoteMessageKind
{
    Request, // client → service; its answer is the next minor type
    Answer,  // service → the asking client
    Push     // service → every session of a sub-channel
};

// X(minor type, body type, kind, short name of a request or nullptr)
#define QUORIX_VOTE_MESSAGES(X)                                                                              \
    X(VOTE_SYSTEM_CREATE_VOTE_REQ, PCreateVoteReq, Request, "create")                                        \
    X(VOTE_SYSTEM_CREATE_VOTE_RES, PCreateVoteRes, Answer, nullptr)                                          \
    X(VOTE_SYSTEM_UPDATE_VOTE_REQ, PUpdateVoteReq, Request, "update")                                        \
    X(VOTE_SYSTEM_UPDATE_VOTE_RES, PUpdateVoteRes, Answer, nullptr)                                          \
    X(VOTE_SYSTEM_START_VOTE_REQ, PStartVoteReq, Request, "start")                                           \
    X(VOTE_SYSTEM_START_VOTE_RES, PStartVoteRes, Answer, nullptr)                                            \
    X(VOTE_SYSTEM_END_VOTE_REQ, PEndVoteReq, Request, "end")                                                 \
    X(VOTE_SYSTEM_END_VOTE_RES, PEndVoteRes, Answer, nullptr)                                                \
    X(VOTE_SYSTEM_DELETE_VOTE_REQ, PDeleteVoteReq, Request, "delete")                                        \
    X(VOTE_SYSTEM_DELETE_VOTE_RES, PDeleteVoteRes, Answer, nullptr)                                          \
    X(VOTE_SYSTEM_USER_VOTE_REQ, PUserVoteReq, Request, "vote")                                              \
    X(VOTE_SYSTEM_USER_VOTE_RES, PUserVoteRes, Answer, nullptr)                                              \
    X(VOTE_SYSTEM_USER_VOTE_STATE_REQ, PUserVoteStateReq, Request, "ticket_state")                           \
    X(VOTE_SYSTEM_USER_VOTE_STATE_RES, PUserVoteStateRes, Answer, nullptr)                                   \
    X(VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, PQueryVoteHisRecordReq, Request, "history")                     \
    X(VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES, PQueryVoteHisRecordRes, Answer, nullptr)                        \
    X(VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ, PBatchDeleteVoteReq, Request, "batch_delete")                       \
    X(VOTE_SYSTEM_BATCH_DELETE_VOTE_RES, PBatchDeleteVoteRes, Answer, nullptr)                               \
    X(VOTE_SYSTEM_BROADCAST_VOTE, PBroadcastVote, Push, nullptr)                                             \
    X(VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, PQueryAllVoteReq, Request, "query_all")                                \
    X(VOTE_SYSTEM_QUERY_ALL_VOTE_RES, PQueryAllVoteRes, Answer, nullptr)                                     \
    X(VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE, PBroadcastChannelVote, Push, nullptr)                              \
    X(VOTE_SYSTEM_QUERY_NICKNAME_REQ, PQueryNicknameReq, Request, "nickname")                                \
    X(VOTE_SYSTEM_QUERY_NICKNAME_RES, PQueryNicknameRes, Answer, nullptr)                                    \
    X(VOTE_SYSTEM_CLOSE_VOTEUI_REQ, PCloseVoteReq, Request, "close")                                         \
    X(VOTE_SYSTEM_CLOSE_VOTEUI_RES, PCloseVoteUiRes, Answer, nullptr)

template <std::uint32_t MinType> struct VoteMessage;

#define QUORIX_VOTE_MESSAGE_ROW(MinType, BodyType, Kind, ShortName)                                          \
    template <> struct VoteMessage<MinType>                                                                  \
    {                                                                                                        \
        using Body = BodyType;                                                                               \
        static constexpr std::uint32_t minType = MinType;                                                    \
        static constexpr const char* name = #MinType;                                                        \
        static constexpr VoteMessageKind kind = VoteMessageKind::Kind;                                       \
        static constexpr const char* shortName = ShortName;                                                  \
    };
QUORIX_VOTE_MESSAGES(QUORIX_VOTE_MESSAGE_ROW)
#undef QUORIX_VOTE_MESSAGE_ROW

template <std::uint32_t MinType> using VoteBody = typename VoteMessage<MinType>::Body;

// Calls visit(VoteMessage<minType>{}) with the row of `minType`; nothing when the minor type is
// not a vote message.
template <class Visitor> void visitVoteMessage(std::uint32_t minType, Visitor&& visit)
{
    switch (minType) {
#define QUORIX_VOTE_MESSAGE_CASE(MinType, BodyType, Kind, ShortName)                                         \
    case MinType:                                                                                            \
        return visit(VoteMessage<MinType>{});
        QUORIX_VOTE_MESSAGES(QUORIX_VOTE_MESSAGE_CASE)
#undef QUORIX_VOTE_MESSAGE_CASE
    default:
        return;
    }
}

#undef QUORIX_VOTE_MESSAGES

} // namespace quorix
