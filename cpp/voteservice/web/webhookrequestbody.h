#pragma once

// The body of PUT /api/v1/channels/{ch}/webhook: {"url":"https://…","progress":false}, progress
// optional. A refusal names the member at fault; the address itself is the webhook sender's to check.

#include "voteservice/web/voterequestbody.h"

#include <optional>
#include <string>

namespace quorix::service {

class WebhookRequestBody
{
public:
    struct Webhook
    {
        std::string url;
        bool progress = false;
    };

    static std::optional<Webhook> read(const std::string& body, VoteRequestBody::Refusal& refusal);
};

} // namespace quorix::service
