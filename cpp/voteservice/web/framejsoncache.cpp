#include "voteservice/web/framejsoncache.h"

#include <quorix/protocol/jsontext.h>
#include <quorix/protocol/votemessages.h>

namespace quorix::service {

const FrameJsonCache::Entry& FrameJsonCache::lookup(const OutFrame& frame, const SubChannelKey& place,
                                                    CoreGateway& gateway)
{
    if (!m_frame.isNull() && m_frame.wire().data() == frame.wire().data() && m_place == place)
        return m_entry;
    m_frame = frame;
    m_place = place;
    m_entry = Entry{FrameJson::decode(frame), {}, {}, {}};
    if (m_entry.decoded && m_entry.decoded->minType == VOTE_SYSTEM_BROADCAST_VOTE) {
        const FrameJson::Json& body = m_entry.decoded->body;
        static const FrameJson::Json kNoVote = FrameJson::Json::object();
        const FrameJson::Json& vote = body.contains("vote") ? body.at("vote") : kNoVote;
        m_entry.round =
            VoteRound{vote.value("voteId", 0u), vote.value("voteType", 0u), body.value("jiFangId", 0u)};
        m_entry.stateText =
            JsonText::write(FrameJson::voteState(m_entry.decoded->body, place, gateway.broadcastHz(place)));
        // {"type":"vote", then the state's members.
        m_entry.viewerText =
            std::make_shared<const std::string>("{\"type\":\"vote\"," + m_entry.stateText.substr(1));
    }
    return m_entry;
}

} // namespace quorix::service
