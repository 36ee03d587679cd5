#include "answercheck.h"

#include <quorix/protocol/serviceframe.h>
#include <quorix/protocol/votemessages.h>

namespace answercheck {

namespace {

using namespace quorix;

template <class Message> bool decodesWhole(const std::string& body)
{
    Message message;
    mpak::Unpack up(body);
    try {
        up >> message;
    } catch (const mpak::UnpackError&) {
        return false;
    }
    return up.empty();
}

} // namespace

bool isWellFormedBody(std::uint32_t minType, const std::string& body)
{
    switch (minType) {
    case VOTE_SYSTEM_CREATE_VOTE_RES:
    case VOTE_SYSTEM_UPDATE_VOTE_RES:
        return decodesWhole<PCreateVoteRes>(body);
    case VOTE_SYSTEM_START_VOTE_RES:
    case VOTE_SYSTEM_END_VOTE_RES:
    case VOTE_SYSTEM_DELETE_VOTE_RES:
    case VOTE_SYSTEM_CLOSE_VOTEUI_RES:
        return decodesWhole<PStartVoteRes>(body);
    case VOTE_SYSTEM_USER_VOTE_RES:
        return decodesWhole<PUserVoteRes>(body);
    case VOTE_SYSTEM_USER_VOTE_STATE_RES:
        return decodesWhole<UserTicketInfo>(body);
    case VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES:
        return decodesWhole<PQueryVoteHisRecordRes>(body);
    case VOTE_SYSTEM_BATCH_DELETE_VOTE_RES:
        return decodesWhole<PBatchDeleteVoteRes>(body);
    case VOTE_SYSTEM_BROADCAST_VOTE:
        return decodesWhole<PBroadcastVote>(body);
    case VOTE_SYSTEM_QUERY_ALL_VOTE_RES:
        return decodesWhole<PQueryAllVoteRes>(body);
    case VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE:
        return decodesWhole<PBroadcastChannelVote>(body);
    case VOTE_SYSTEM_QUERY_NICKNAME_RES:
        return decodesWhole<PQueryNicknameRes>(body);
    default:
        return false;
    }
}

const char* streamFrameProblem(std::string_view wire)
{
    if (wire.size() < 4 + mpak::kFrameHeaderSize)
        return "frame shorter than its header";
    mpak::Unpack up(wire.data(), wire.size());
    const std::uint32_t length = up.pop_uint32();
    if (length != up.size())
        return "length prefix disagrees with the frame";
    const mpak::ServiceFrame frame = mpak::decodeFrame(up.data(), up.size());
    if (frame.payload.size() + mpak::kFrameHeaderSize != length)
        return "payload length disagrees with the frame";
    if (frame.maxType != kVoteMajorType)
        return "a vote answer with another major type";
    if (!isWellFormedBody(frame.minType, frame.payload))
        return "an answer body that does not decode completely";
    return nullptr;
}

} // namespace answercheck
