#pragma once

// A Redis Cluster of a test's own: RedisTestServers started with cluster support on free loopback
// ports, joined with redis-cli --cluster create (the slots split evenly over the primaries, each
// given its replicas), ready once every node reports cluster_state:ok and every replica's link is
// up. Stopped when destroyed. moveSlot() hands a slot and its keys to another primary the way
// redis-cli --cluster reshard does (IMPORTING, MIGRATING, MIGRATE, SETSLOT NODE), so that clients
// holding the old map meet MOVED.
//
// With useServiceAcl() every node takes the ACL docs/install.md gives the service (user quorix) and
// an admin user, which forms the cluster, carries the replication and answers the fixture's own
// questions; clients given seeds() or votedArguments() log in as quorix.
//
// For fault runs: a server can be killed (SIGKILL) while its replica takes over, paused, and
// started again on its nodes.conf, so that it rejoins, as a replica when it was failed over.

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
    // How long a primary may be silent before its replica is promoted (cluster-node-timeout).
    static constexpr int kNodeTimeoutMs = 2000;

    explicit RedisTestCluster(int primaries = 3, int replicasEach = 0);

    // Before start(): the documented service ACL and an admin user on every node.
    void useServiceAcl();
    // False with the reason when the servers did not start or the cluster did not form in time.
    bool start(std::string* whyNot = nullptr);
    // The seed nodes: every server, with the service's credentials.
    std::vector<RedisAddress> seeds() const;
    // --redis-cluster with every server and the credential options, for quorix-voted.
    std::vector<std::string> votedArguments() const;
    // Which server (in start order) serves the slot now; -1 when unknown.
    int primaryOf(std::uint16_t slot) const;
    bool moveSlot(std::uint16_t slot, int toPrimary, std::string* whyNot = nullptr);
    int size() const { return int(m_servers.size()); }
    RedisTestServer& server(int index) { return *m_servers[std::size_t(index)]; }

    // The servers that run and call themselves primary (ROLE).
    std::vector<int> primaries() const;
    bool isPrimary(int index) const;
    // Drops the links of a primary's replicas (CLIENT KILL TYPE replica) and, with the ACL, turns
    // the admin user off there, so that they cannot reconnect and fall behind: for a primary about
    // to be killed (restart() reads the ACL file again). Without the ACL they reconnect at once.
    void cutReplication(int index);
    // SIGKILL of one server: a crash.
    void kill(int index);
    // Waits until every slot is served again by a primary that runs (after a kill, the replica's
    // promotion) and the cluster reports cluster_state:ok; false after timeoutMs.
    bool waitUntilServed(int timeoutMs) const;
    // Starts a killed server again on its port and nodes.conf, and waits until it has rejoined: as
    // a replica whose link to its primary is up, or as a primary; false after timeoutMs.
    bool restart(int index, int timeoutMs);

private:
    bool formed() const;
    bool replicaLinked(int index) const;
    std::string nodeId(int server) const;

    std::vector<std::unique_ptr<RedisTestServer>> m_servers;
    int m_replicasEach;
};

} // namespace quorix::service::test
