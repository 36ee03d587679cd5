#pragma once

// What quorix-voted adds for webhooks: the sender with a storage handle of its own (a second
// connection to the same SQLite file or Redis; the memory storage itself, whose webhook part only
// the sender touches), and the ballot box the core is given, which reports the core's vote events
// to the sender (EventReportingBallotBox).

#include "voteservice/core/eventreportingballotbox.h"
#include "voteservice/core/memoryballotbox.h"
#include "voteservice/server/serveroptions.h"
#include "voteservice/webhook/webhooksender.h"

#include <memory>
#include <string>

namespace quorix::service {

class RedisBackend;

class WebhookService
{
public:
    // sharedBox: the Redis box, or null for one in this process over `storage`. databasePath: the
    // data folder's database, empty in memory or Redis. Null with a message when the sender's
    // storage cannot be opened or --webhook is not an address it takes.
    static std::unique_ptr<WebhookService> open(const ServerOptions& options, VoteStorage& storage,
                                                const std::string& databasePath, BallotBox* sharedBox,
                                                const Clock& clock, WebhookSender::Audit audit,
                                                std::string& error);
    ~WebhookService();

    // The box to give the core.
    BallotBox& box() { return *m_reportingBox; }
    WebhookSender& sender() { return *m_sender; }
    void start(ServiceMetrics& metrics);
    void stop() { m_sender->stop(); }

private:
    WebhookService() = default;

    std::unique_ptr<RedisBackend> m_redis;
    std::unique_ptr<VoteStorage> m_ownStorage;
    std::unique_ptr<MemoryBallotBox> m_memoryBox;
    std::unique_ptr<WebhookSender> m_sender;
    std::unique_ptr<EventReportingBallotBox> m_reportingBox;
};

} // namespace quorix::service
