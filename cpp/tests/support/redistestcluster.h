#pragma once

// A Redis Cluster of a test's own: primaries RedisTestServers started with cluster support on free
// loopback ports, joined with redis-cli --cluster create (the slots split evenly, in the order the
// servers were started), ready once every node reports cluster_state:ok. Stopped when destroyed.
// moveSlot() hands a slot and its keys to another primary the way redis-cli --cluster reshard
// does (IMPORTING, MIGRATING, MIGRATE, SETSLOT NODE), so that clients holding the old map meet
// MOVED.

#include "voteservice/redis/redisaddress.h"
#include "tests/support/redistestserver.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorix::service::test {

class RedisTestCluster
{
public:
    explicit RedisTestCluster(int primaries = 3);

    // False with the reason when the servers did not start or the cluster did not form in time.
    bool start(std::string* whyNot = nullptr);
    // The seed nodes: every primary.
    std::vector<RedisAddress> seeds() const;
    // --redis-cluster with every primary, for quorix-voted.
    std::vector<std::string> votedArguments() const;
    // Which primary (in start order) serves the slot now.
    int primaryOf(std::uint16_t slot) const;
    bool moveSlot(std::uint16_t slot, int toPrimary, std::string* whyNot = nullptr);
    RedisTestServer& server(int primary) { return *m_servers[std::size_t(primary)]; }

private:
    bool formed() const;
    std::string nodeId(int primary) const;

    std::vector<std::unique_ptr<RedisTestServer>> m_servers;
};

} // namespace quorix::service::test
