#include "voteservice/webhook/webhookservice.h"

#include "voteservice/redis/redisbackend.h"
#include "voteservice/sqlite/sqlitevotestorage.h"
#include "voteservice/webhook/webhookurl.h"

namespace quorix::service {

namespace {

WebhookOptions webhookOptionsOf(const ServerOptions& options)
{
    WebhookOptions webhooks;
    webhooks.defaultUrl = options.webhookUrl;
    webhooks.defaultSecret = options.webhookSecret;
    webhooks.allowHttp = options.webhookAllowHttp;
    webhooks.caFile = options.webhookCaFile;
    webhooks.queueLimit = options.webhookQueueLimit;
    webhooks.broadcastHz = options.broadcastHz;
    return webhooks;
}

} // namespace

WebhookService::~WebhookService()
{
    if (m_sender)
        m_sender->stop();
}

std::unique_ptr<WebhookService> WebhookService::open(const ServerOptions& options, VoteStorage& storage,
                                                     const std::string& databasePath, BallotBox* sharedBox,
                                                     const Clock& clock, WebhookSender::Audit audit,
                                                     std::string& error)
{
    if (!options.webhookUrl.empty() &&
        !WebhookUrl::parse(options.webhookUrl, options.webhookAllowHttp, error)) {
        error = "--webhook: " + error;
        return nullptr;
    }
    std::unique_ptr<WebhookService> service(new WebhookService);
    VoteStorage* senderStorage = &storage;
    if (options.usesRedis()) {
        service->m_redis = options.usesRedisCluster()
                               ? RedisBackend::openCluster(options.redisClusterSeeds(), error)
                               : RedisBackend::open(options.redis, error);
        if (!service->m_redis)
            return nullptr;
        senderStorage = &service->m_redis->storage();
    } else if (!databasePath.empty()) {
        try {
            service->m_ownStorage = std::make_unique<SqliteVoteStorage>(databasePath);
        } catch (const SqliteVoteStorage::Error& e) {
            error = std::string("webhooks: ") + e.what();
            return nullptr;
        }
        senderStorage = service->m_ownStorage.get();
    }
    if (sharedBox == nullptr) {
        service->m_memoryBox = std::make_unique<MemoryBallotBox>(clock, storage);
        sharedBox = service->m_memoryBox.get();
    }
    try {
        service->m_sender = std::make_unique<WebhookSender>(*senderStorage, clock, webhookOptionsOf(options),
                                                            nullptr, std::move(audit));
    } catch (const std::runtime_error& e) {
        error = std::string("--webhook-ca-file: ") + e.what();
        return nullptr;
    }
    service->m_reportingBox =
        std::make_unique<EventReportingBallotBox>(*sharedBox, *service->m_sender, clock);
    return service;
}

void WebhookService::start(ServiceMetrics& metrics)
{
    m_sender->setMetrics(metrics);
    m_sender->start();
}

} // namespace quorix::service
