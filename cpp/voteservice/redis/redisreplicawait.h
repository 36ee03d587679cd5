#pragma once

// Waits for Redis replicas to hold this connection's writes before their answers go out, so that a
// failover to a replica cannot lose a change the service already confirmed. After a write the
// connection sends WAIT <replicas> <timeout>; fewer replicas than asked in time makes the write
// uncertain, answered as a lost reply would be (it may or may not survive a failover).
//
// Casts queued on the connection share one WAIT, appended when the queue is flushed: their answers
// are held until its reply.

#include "voteservice/redis/redisconnection.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace quorix::service {

class RedisReplicaWait
{
public:
    // How long one WAIT may hold the connection.
    static constexpr int kTimeoutMs = 500;

    explicit RedisReplicaWait(int replicas = 0) : m_replicas(replicas) {}

    int replicas() const { return m_replicas; }
    void setReplicas(int replicas) { m_replicas = replicas; }
    bool enabled() const { return m_replicas > 0; }

    // After a write sent with command(): true when enough replicas have it (or none are asked for).
    bool confirm(RedisCommands& connection) const;
    // A write was queued with append(): the next appendWait() sends a WAIT after it.
    void queued() { m_queuedSinceWait = m_queuedSinceWait || enabled(); }
    // Gives the queued write's answer, at once with no replicas asked for, otherwise when the WAIT
    // that followed it is answered. An accepted write (result 0) not confirmed in time is answered
    // as uncertain.
    void hold(std::uint32_t result, std::function<void(std::uint32_t)> answer);
    // Queues one WAIT behind the writes queued since the last one; called before a flush.
    void appendWait(RedisCommands& connection);

    // The replicas the Redis at connection has connected now (INFO replication); -1 when unknown.
    static int connectedReplicas(RedisCommands& connection);

private:
    struct Held
    {
        std::uint32_t result;
        std::function<void(std::uint32_t)> answer;
    };

    static bool enough(const redisReply* reply, int replicas);
    static void release(std::vector<Held> held, bool confirmed);

    int m_replicas;
    bool m_queuedSinceWait = false;
    std::vector<Held> m_held;
};

} // namespace quorix::service
