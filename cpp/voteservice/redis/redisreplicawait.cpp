#include "voteservice/redis/redisreplicawait.h"

#include "voteservice/core/resultcode.h"
#include "voteservice/core/servicelog.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace quorix::service {

bool RedisReplicaWait::enough(const redisReply* reply, int replicas)
{
    return reply != nullptr && reply->type == REDIS_REPLY_INTEGER && reply->integer >= replicas;
}

bool RedisReplicaWait::confirm(RedisCommands& connection) const
{
    if (!enabled())
        return true;
    const RedisReply reply =
        connection.command({"WAIT", std::to_string(m_replicas), std::to_string(kTimeoutMs)});
    if (enough(reply.get(), m_replicas))
        return true;
    ServiceLog::line(ServiceLog::Priority::Warning, "a change in Redis was not confirmed by " +
                                                        std::to_string(m_replicas) +
                                                        " replica(s) in time: it may not survive a failover");
    return false;
}

void RedisReplicaWait::hold(std::uint32_t result, std::function<void(std::uint32_t)> answer)
{
    if (!enabled() || result != kResultOk)
        return answer(result);
    m_held.push_back(Held{result, std::move(answer)});
}

void RedisReplicaWait::appendWait(RedisCommands& connection)
{
    if (!m_queuedSinceWait)
        return;
    m_queuedSinceWait = false;
    const int replicas = m_replicas;
    connection.append({"WAIT", std::to_string(replicas), std::to_string(kTimeoutMs)},
                      [this, replicas](const redisReply* reply) {
                          const bool confirmed = enough(reply, replicas);
                          if (!confirmed && !m_held.empty())
                              ServiceLog::line(ServiceLog::Priority::Warning,
                                               std::to_string(m_held.size()) +
                                                   " vote(s) counted in Redis were not confirmed by " +
                                                   std::to_string(replicas) +
                                                   " replica(s) in time: answered as uncertain");
                          release(std::move(m_held), confirmed);
                          m_held.clear();
                      });
}

void RedisReplicaWait::release(std::vector<Held> held, bool confirmed)
{
    for (Held& entry : held)
        entry.answer(confirmed ? entry.result : std::uint32_t(kResultStorageUnavailable));
}

int RedisReplicaWait::connectedReplicas(RedisCommands& connection)
{
    const RedisReply reply = connection.command({"INFO", "replication"});
    if (!reply || reply->type != REDIS_REPLY_STRING)
        return -1;
    const std::string info(reply->str, reply->len);
    const char* field = "connected_slaves:";
    const std::size_t at = info.find(field);
    if (at == std::string::npos)
        return -1;
    return std::atoi(info.c_str() + at + std::strlen(field));
}

} // namespace quorix::service
