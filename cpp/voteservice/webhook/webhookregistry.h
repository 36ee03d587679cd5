#pragma once

// The channels' webhooks as the web API changes them (PUT, GET, DELETE
// /api/v1/channels/{ch}/webhook). Called on the web face's thread; each call answers once through
// its callback, on another thread, which the caller hands back to its own.

#include "voteservice/core/auditentry.h"

#include <cstdint>
#include <functional>
#include <string>

namespace quorix::service {

class WebhookRegistry
{
public:
    struct Answer
    {
        int status = 200; // 200 (shown, replaced), 201 (created), 204 (removed), 400, 404, 503
        std::string error;
        std::string field; // the request member a 400 names
        std::string url;
        bool progress = false;
        std::string secret; // a new webhook's, answered once
    };
    using Done = std::function<void(Answer)>;

    virtual ~WebhookRegistry() = default;
    // who: the asker, as the audit trail records it (its action and result are set here).
    virtual void put(std::uint32_t channelId, const std::string& url, bool progress, AuditEntry who,
                     Done done) = 0;
    virtual void show(std::uint32_t channelId, Done done) = 0;
    virtual void remove(std::uint32_t channelId, AuditEntry who, Done done) = 0;
};

} // namespace quorix::service
