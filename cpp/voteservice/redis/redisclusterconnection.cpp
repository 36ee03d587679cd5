#include "voteservice/redis/redisclusterconnection.h"

#include "voteservice/core/servicelog.h"
#include "voteservice/redis/redisreplicawait.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <strings.h>
#include <thread>

namespace quorix::service {

namespace {
// Between tries of a command whose reply was lost, each after a fresh look at the slot map.
constexpr std::chrono::milliseconds kRetryPause(50);

bool isVerb(const RedisCommands::Args& args, const char* verb)
{
    return !args.empty() && ::strcasecmp(args[0].c_str(), verb) == 0;
}

bool isNoScript(const redisReply* reply)
{
    return reply != nullptr && reply->type == REDIS_REPLY_ERROR &&
           std::strncmp(reply->str, "NOSCRIPT", 8) == 0;
}
} // namespace

RedisClusterConnection::RedisClusterConnection(std::vector<RedisAddress> seeds) : m_seeds(std::move(seeds)) {}

void RedisClusterConnection::setRoundTripHook(RoundTripHook hook)
{
    m_roundTripHook = std::move(hook);
    for (auto& [name, node] : m_nodes)
        node->setRoundTripHook(m_roundTripHook);
}

const std::string* RedisClusterConnection::keyOf(const Args& args)
{
    if (isVerb(args, "EVAL") || isVerb(args, "EVALSHA"))
        return args.size() > 3 && args[2] != "0" ? &args[3] : nullptr;
    for (const char* keyless : {"PING", "INFO", "TIME", "WAIT", "SCRIPT", "ASKING", "CLUSTER", "PUBLISH"}) {
        if (isVerb(args, keyless))
            return nullptr;
    }
    return args.size() > 1 ? &args[1] : nullptr;
}

RedisConnection& RedisClusterConnection::connectionTo(const RedisClusterNode& node)
{
    std::unique_ptr<RedisConnection>& connection = m_nodes[node.describe()];
    if (!connection) {
        RedisAddress address = m_seeds.front();
        address.host = node.host;
        address.port = node.port;
        connection = std::make_unique<RedisConnection>(address);
        connection->setConnectedHook(m_connectedHook);
        connection->setRoundTripHook(m_roundTripHook);
    }
    return *connection;
}

std::vector<RedisConnection*> RedisClusterConnection::primaryConnections()
{
    std::vector<RedisConnection*> connections;
    for (const RedisClusterNode& primary : m_slots.primaries())
        connections.push_back(&connectionTo(primary));
    return connections;
}

RedisConnection* RedisClusterConnection::route(const Args& args)
{
    const std::string* key = keyOf(args);
    if (key == nullptr) {
        if (m_last == nullptr && !m_slots.primaries().empty())
            m_last = &connectionTo(m_slots.primaries().front());
        return m_last;
    }
    const RedisClusterNode* primary = m_slots.primary(RedisClusterSlots::slot(*key));
    if (primary == nullptr)
        return nullptr;
    m_last = &connectionTo(*primary);
    return m_last;
}

bool RedisClusterConnection::refresh(std::string& error)
{
    std::vector<RedisClusterNode> candidates = m_slots.primaries();
    for (const RedisAddress& seed : m_seeds)
        candidates.push_back(RedisClusterNode{seed.host, seed.port});
    error = "no node of the Redis Cluster answered CLUSTER SLOTS";
    for (const RedisClusterNode& candidate : candidates) {
        RedisConnection& connection = connectionTo(candidate);
        const RedisReply reply = connection.command({"CLUSTER", "SLOTS"});
        std::string why;
        if (reply && m_slots.update(*reply, candidate.host, why))
            return true;
        if (reply)
            error = "the Redis Cluster node " + candidate.describe() + " gave no slot map: " +
                    (reply->type == REDIS_REPLY_ERROR ? RedisConnection::errorText(reply.get()) : why);
    }
    return false;
}

bool RedisClusterConnection::connect(std::string& error)
{
    if (!refresh(error))
        return false;
    if (!m_slots.complete()) {
        error = "the Redis Cluster does not serve every slot (CLUSTER SLOTS)";
        return false;
    }
    for (const RedisClusterNode& primary : m_slots.primaries()) {
        if (!connectionTo(primary).connect(error))
            return false;
    }
    return true;
}

RedisReply RedisClusterConnection::routed(Args args, const std::string* scriptBody, RetryUntil retryUntil,
                                          bool sent, RedisConnection** landed)
{
    RedisConnection* target = route(args);
    bool asking = false;
    int redirects = 0;
    for (;;) {
        std::string why;
        if (target == nullptr && refresh(why))
            target = route(args);
        RedisReply reply;
        if (target != nullptr && target->ready()) {
            sent = true;
            if (asking)
                target->command({"ASKING"});
            reply = target->command(args);
            asking = false;
        }
        if (reply && scriptBody != nullptr && isNoScript(reply.get())) {
            args[0] = "EVAL";
            args[1] = *scriptBody;
            scriptBody = nullptr;
            continue;
        }
        const auto redirect = RedisClusterSlots::redirect(reply.get());
        if (reply && (!redirect || ++redirects > kMaxRedirects)) {
            if (landed != nullptr)
                *landed = target;
            return reply;
        }
        if (redirect) {
            RedisClusterNode to = redirect->node;
            if (to.host.empty())
                to.host = target->address().host;
            if (redirect->kind == RedisRedirect::Kind::Moved)
                refresh(why);
            target = m_last = &connectionTo(to);
            asking = redirect->kind == RedisRedirect::Kind::Ask;
            continue;
        }
        if (!retryUntil || Clock::now() >= (sent ? retryUntil->sentUntil : retryUntil->unsentUntil))
            return nullptr;
        std::this_thread::sleep_for(kRetryPause);
        target = refresh(why) ? route(args) : target;
    }
}

RedisReply RedisClusterConnection::takenUp(const Args& args, const std::string* scriptBody,
                                           RetryUntil retryUntil, bool sent)
{
    RedisConnection* landed = nullptr;
    RedisReply reply = routed(args, scriptBody, retryUntil, sent, &landed);
    if (!reply || m_retriedWriteReplicas <= 0 || landed == nullptr)
        return reply;
    const RedisReply wait = landed->command(
        {"WAIT", std::to_string(m_retriedWriteReplicas), std::to_string(RedisReplicaWait::kTimeoutMs)});
    if (wait && wait->type == REDIS_REPLY_INTEGER && wait->integer >= m_retriedWriteReplicas)
        return reply;
    ServiceLog::line(ServiceLog::Priority::Warning,
                     "a change taken up on another Redis node was not confirmed by " +
                         std::to_string(m_retriedWriteReplicas) +
                         " replica(s) in time: answered as uncertain");
    return nullptr;
}

RedisReply RedisClusterConnection::command(const Args& args, RetryUntil retryUntil)
{
    flush();
    return routed(args, nullptr, retryUntil, false);
}

void RedisClusterConnection::append(Args args, Done done, const std::string* scriptBody,
                                    RetryUntil retryUntil)
{
    if (isVerb(args, "WAIT"))
        return appendWaitToAll(args, std::move(done));
    RedisConnection* target = route(args);
    if (target == nullptr) {
        // No primary known for the slot: tried once the queued replies are in.
        m_after.push_back([this, args = std::move(args), done = std::move(done), scriptBody, retryUntil] {
            const RedisReply reply = takenUp(args, scriptBody, retryUntil, false);
            done(reply.get());
        });
        return;
    }
    const bool sent = target->ready();
    Args copy = args;
    // The node tries it once; a redirection or a lost reply is taken up here, across the cluster.
    target->append(
        std::move(args),
        [this, args = std::move(copy), done = std::move(done), scriptBody, retryUntil,
         sent](const redisReply* reply) {
            if ((reply != nullptr && !RedisClusterSlots::redirect(reply)) ||
                (reply == nullptr && !retryUntil))
                return done(reply);
            const RedisReply again = takenUp(args, scriptBody, retryUntil, sent);
            done(again.get());
        },
        scriptBody);
}

void RedisClusterConnection::appendWaitToAll(const Args& wait, Done done)
{
    struct Gathered
    {
        std::size_t left = 0;
        long long fewest = LLONG_MAX;
        bool lost = false;
        Done done;
    };
    std::vector<RedisConnection*> targets;
    for (auto& [name, node] : m_nodes) {
        if (node->pending())
            targets.push_back(node.get());
    }
    if (targets.empty() && m_last != nullptr)
        targets.push_back(m_last);
    if (targets.empty()) {
        m_after.push_back([done = std::move(done)] { done(nullptr); });
        return;
    }
    auto gathered = std::make_shared<Gathered>();
    gathered->left = targets.size();
    gathered->done = std::move(done);
    for (RedisConnection* target : targets) {
        target->append(wait, [gathered](const redisReply* reply) {
            if (reply == nullptr || reply->type != REDIS_REPLY_INTEGER)
                gathered->lost = true;
            else
                gathered->fewest = std::min(gathered->fewest, reply->integer);
            if (--gathered->left > 0)
                return;
            redisReply fewest{};
            fewest.type = REDIS_REPLY_INTEGER;
            fewest.integer = gathered->fewest;
            gathered->done(gathered->lost ? nullptr : &fewest);
        });
    }
}

void RedisClusterConnection::after(std::function<void()> work)
{
    m_after.push_back(std::move(work));
}

bool RedisClusterConnection::pending() const
{
    return !m_after.empty() || std::any_of(m_nodes.begin(), m_nodes.end(),
                                           [](const auto& node) { return node.second->pending(); });
}

std::size_t RedisClusterConnection::queued() const
{
    std::size_t queued = 0;
    for (const auto& [name, node] : m_nodes)
        queued += node->queued();
    return queued;
}

void RedisClusterConnection::flush()
{
    if (!pending())
        return;
    if (m_flushHook)
        m_flushHook();
    // Every primary gets its commands before any reply is read: they work at once, and the batch
    // takes the slowest primary's round trip rather than the sum of them.
    for (auto& [name, node] : m_nodes)
        node->sendQueued();
    for (auto& [name, node] : m_nodes)
        node->flush();
    std::vector<std::function<void()>> works = std::move(m_after);
    m_after.clear();
    for (const auto& work : works)
        work();
}

} // namespace quorix::service
