#include "tests/support/redistestcluster.h"

#include "voteservice/redis/redisclusterslots.h"
#include "voteservice/redis/redisconnection.h"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace quorix::service::test {

namespace {

RedisReply ask(const RedisAddress& node, const RedisConnection::Args& args)
{
    RedisConnection connection(node);
    std::string error;
    return connection.connect(error) ? connection.command(args) : nullptr;
}

std::string text(const RedisReply& reply)
{
    return reply && (reply->type == REDIS_REPLY_STRING || reply->type == REDIS_REPLY_STATUS)
               ? std::string(reply->str, reply->len)
               : std::string();
}

} // namespace

RedisTestCluster::RedisTestCluster(int primaries)
{
    for (int i = 0; i < primaries; ++i) {
        m_servers.push_back(std::make_unique<RedisTestServer>());
        // A bus port of its own: the default, the port plus 10000, may lie beyond 65535.
        m_servers.back()->addArguments({"--cluster-enabled", "yes", "--cluster-config-file", "nodes.conf",
                                        "--cluster-node-timeout", "2000", "--cluster-port",
                                        std::to_string(RedisTestServer::freePort())});
    }
}

bool RedisTestCluster::start(std::string* whyNot)
{
    std::string create = "redis-cli --cluster create";
    for (auto& server : m_servers) {
        if (!server->start(whyNot))
            return false;
        create += " " + server->address();
    }
    if (std::system((create + " --cluster-replicas 0 --cluster-yes > /dev/null 2>&1").c_str()) != 0) {
        if (whyNot != nullptr)
            *whyNot = "redis-cli --cluster create failed";
        return false;
    }
    for (int i = 0; i < 200; ++i) {
        if (formed())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (whyNot != nullptr)
        *whyNot = "the cluster did not reach cluster_state:ok in 10 s";
    return false;
}

bool RedisTestCluster::formed() const
{
    for (const auto& server : m_servers) {
        if (text(ask(server->redisAddress(), {"CLUSTER", "INFO"})).find("cluster_state:ok") ==
            std::string::npos)
            return false;
    }
    return true;
}

std::vector<RedisAddress> RedisTestCluster::seeds() const
{
    std::vector<RedisAddress> seeds;
    for (const auto& server : m_servers)
        seeds.push_back(server->redisAddress());
    return seeds;
}

std::vector<std::string> RedisTestCluster::votedArguments() const
{
    std::string list;
    for (const auto& server : m_servers)
        list += (list.empty() ? "" : ",") + server->address();
    return {"--redis-cluster", list};
}

std::string RedisTestCluster::nodeId(int primary) const
{
    return text(ask(m_servers[std::size_t(primary)]->redisAddress(), {"CLUSTER", "MYID"}));
}

int RedisTestCluster::primaryOf(std::uint16_t slot) const
{
    const RedisReply reply = ask(m_servers.front()->redisAddress(), {"CLUSTER", "SLOTS"});
    RedisClusterSlots map;
    std::string error;
    if (!reply || !map.update(*reply, "127.0.0.1", error) || map.primary(slot) == nullptr)
        return -1;
    for (std::size_t i = 0; i < m_servers.size(); ++i) {
        if (m_servers[i]->port() == map.primary(slot)->port)
            return int(i);
    }
    return -1;
}

bool RedisTestCluster::moveSlot(std::uint16_t slot, int toPrimary, std::string* whyNot)
{
    const int from = primaryOf(slot);
    const auto fail = [whyNot](const std::string& why) {
        if (whyNot != nullptr)
            *whyNot = why;
        return false;
    };
    if (from < 0 || from == toPrimary)
        return fail("slot " + std::to_string(slot) + " is not served by another primary");
    const RedisAddress source = m_servers[std::size_t(from)]->redisAddress();
    const RedisAddress target = m_servers[std::size_t(toPrimary)]->redisAddress();
    const std::string slotText = std::to_string(slot);
    ask(target, {"CLUSTER", "SETSLOT", slotText, "IMPORTING", nodeId(from)});
    ask(source, {"CLUSTER", "SETSLOT", slotText, "MIGRATING", nodeId(toPrimary)});
    const RedisReply keys = ask(source, {"CLUSTER", "GETKEYSINSLOT", slotText, "1000"});
    if (!keys || keys->type != REDIS_REPLY_ARRAY)
        return fail("CLUSTER GETKEYSINSLOT failed");
    if (keys->elements > 0) {
        RedisConnection::Args migrate{"MIGRATE", target.host, std::to_string(target.port), "", "0",
                                      "5000",    "KEYS"};
        for (std::size_t i = 0; i < keys->elements; ++i)
            migrate.emplace_back(keys->element[i]->str, keys->element[i]->len);
        if (text(ask(source, migrate)) != "OK")
            return fail("MIGRATE failed");
    }
    const std::string owner = nodeId(toPrimary);
    for (const auto& server : m_servers)
        ask(server->redisAddress(), {"CLUSTER", "SETSLOT", slotText, "NODE", owner});
    return primaryOf(slot) == toPrimary;
}

} // namespace quorix::service::test
