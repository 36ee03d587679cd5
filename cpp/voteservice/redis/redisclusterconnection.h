#pragma once

// The commands of one service process to a Redis Cluster: one RedisConnection per primary, each
// command sent to the primary of its key's slot (the slot map read with CLUSTER SLOTS from a seed
// or a known node). A MOVED reply refreshes the map and the command goes to the new owner; an ASK
// reply sends ASKING and the command once to the node named. A command whose reply was lost (the
// connection broke, or the node answered READONLY, CLUSTERDOWN, TRYAGAIN and the like) and that
// may be repeated goes again after a fresh look at the map, within its retry window, so that
// after a failover it reaches the promoted replica.
//
// A command of no key goes to the primary that took the last command with one: so WAIT after a
// script asks the replicas of the node that ran it. A WAIT queued with append() goes to every
// primary that has queued commands, and its callback gets the fewest replicas any of them
// confirmed. Callbacks queued with after() run once every primary's queued replies were handed
// over. A flush writes to every primary before it reads the first reply, so the primaries work at
// once; their replies are then read primary by primary.
//
// A queued command taken up elsewhere (after a redirection or a lost reply, or one whose slot had
// no primary when it was queued) lands on a node that the batch's WAIT does not ask: with
// confirmRetriedWrites(N) it is followed there by a WAIT of its own, and a reply that fewer than N
// replicas confirmed is handed over as lost (the caller's uncertain answer).

#include "voteservice/redis/redisclusterslots.h"
#include "voteservice/redis/redisconnection.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quorix::service {

class RedisClusterConnection : public RedisCommands
{
public:
    // How many redirections one command follows before it counts as lost.
    static constexpr int kMaxRedirects = 5;

    // seeds: nodes to read the slot map from, with the credentials and TLS files every node of
    // the cluster is reached with.
    explicit RedisClusterConnection(std::vector<RedisAddress> seeds);

    void setConnectedHook(ConnectedHook hook) override { m_connectedHook = std::move(hook); }
    void setRoundTripHook(RoundTripHook hook) override;
    void setFlushHook(std::function<void()> hook) override { m_flushHook = std::move(hook); }
    // Reads the slot map and connects to every primary; false with a message when no seed gave a
    // map that covers every slot, or a primary cannot be reached.
    bool connect(std::string& error) override;

    RedisReply command(const Args& args, RetryUntil retryUntil = {}) override;
    void append(Args args, Done done, const std::string* scriptBody = nullptr,
                RetryUntil retryUntil = {}) override;
    void after(std::function<void()> work) override;
    bool pending() const override;
    std::size_t queued() const override;
    void flush() override;

    // Queued commands taken up on another node wait there for this many replicas (0: none).
    void confirmRetriedWrites(int replicas) { m_retriedWriteReplicas = replicas; }
    // A connection to every primary of the slot map (made on first use).
    std::vector<RedisConnection*> primaryConnections();

    // The key a command acts on (for EVAL and EVALSHA the first of its KEYS); null for one of none.
    static const std::string* keyOf(const Args& args);

private:
    // The connection to a node, made on first use with the seeds' credentials and the hooks.
    RedisConnection& connectionTo(const RedisClusterNode& node);
    // Where args go: the primary of the key's slot, or for a keyless command the last one used;
    // null when the map has no primary for the slot.
    RedisConnection* route(const Args& args);
    // Reads CLUSTER SLOTS from the primaries known, then the seeds, until one gives a map.
    bool refresh(std::string& error);
    // Sends args until a reply that is not a redirection, following MOVED and ASK and, within the
    // retry window, sending again after a lost reply. sent: whether it may have reached Redis.
    // landed: the node that gave the reply.
    RedisReply routed(Args args, const std::string* scriptBody, RetryUntil retryUntil, bool sent,
                      RedisConnection** landed = nullptr);
    // routed() for a queued command taken up after its batch: null unless the node it landed on had
    // the replicas of confirmRetriedWrites confirm it.
    RedisReply takenUp(const Args& args, const std::string* scriptBody, RetryUntil retryUntil, bool sent);
    // Appends a WAIT to every primary with queued commands; done gets the fewest confirmations.
    void appendWaitToAll(const Args& wait, Done done);

    std::vector<RedisAddress> m_seeds;
    RedisClusterSlots m_slots;
    std::map<std::string, std::unique_ptr<RedisConnection>> m_nodes;
    RedisConnection* m_last = nullptr;
    int m_retriedWriteReplicas = 0;
    std::vector<std::function<void()>> m_after;
    ConnectedHook m_connectedHook;
    RoundTripHook m_roundTripHook;
    std::function<void()> m_flushHook;
};

} // namespace quorix::service
