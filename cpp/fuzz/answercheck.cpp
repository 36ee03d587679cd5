#include "fuzz/answercheck.h"

#include <quorix/protocol/serviceframe.h>
#include <quorix/protocol/votemessagetable.h>

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
    bool wellFormed = false;
    visitVoteMessage(minType, [&](auto message) {
        using Message = decltype(message);
        if constexpr (Message::kind != VoteMessageKind::Request)
            wellFormed = decodesWhole<typename Message::Body>(body);
    });
    return wellFormed;
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
