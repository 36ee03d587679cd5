#pragma once

// The JSON body of a webhook request:
//   {"type":"vote.end","channelId":10,"subChannelId":20,"voteId":3,"jiFangId":7,
//    "time":"2026-12-09T02:19:49Z","timeUnix":1796789989,"state":{...}}
// state is the vote state as GET /api/v1/channels/{ch}/subchannels/{sub}/vote shows it; a close
// whose vote was gone already has none.

#include "voteservice/core/voteeventsink.h"

#include <string>

namespace quorix::service {

class WebhookPayload
{
public:
    // "vote.begin", "vote.progress", "vote.end", "vote.close".
    static const char* typeName(VoteEventKind kind);
    static std::string body(const VoteEvent& event, std::uint32_t broadcastHz);
};

} // namespace quorix::service
