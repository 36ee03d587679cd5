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

RedisTestCluster::RedisTestCluster(int primaries, int replicasEach) : m_replicasEach(replicasEach)
{
    for (int i = 0; i < primaries * (1 + replicasEach); ++i) {
        m_servers.push_back(std::make_unique<RedisTestServer>());
        // A bus port of its own: the default, the port plus 10000, may lie beyond 65535. A replica
        // that rejoins syncs at once instead of after the diskless sync's 5 s delay.
        m_servers.back()->addArguments({"--cluster-enabled", "yes", "--cluster-config-file", "nodes.conf",
                                        "--cluster-node-timeout", std::to_string(kNodeTimeoutMs),
                                        "--cluster-port", std::to_string(RedisTestServer::freePort()),
                                        "--repl-diskless-sync-delay", "0"});
    }
}

void RedisTestCluster::useServiceAcl()
{
    for (auto& server : m_servers) {
        server->useAcl(RedisTestServer::serviceAcl(), RedisTestServer::kServicePassword);
        server->addArguments(
            {"--masteruser", RedisTestServer::kAdminUser, "--masterauth", RedisTestServer::kAdminPassword});
    }
}

bool RedisTestCluster::start(std::string* whyNot)
{
    std::string create = "redis-cli";
    if (m_servers.front()->usesAcl())
        create += std::string(" --user ") + RedisTestServer::kAdminUser + " --pass " +
                  RedisTestServer::kAdminPassword + " --no-auth-warning";
    create += " --cluster create";
    for (auto& server : m_servers) {
        if (!server->start(whyNot))
            return false;
        create += " " + server->address();
    }
    create += " --cluster-replicas " + std::to_string(m_replicasEach);
    if (std::system((create + " --cluster-yes > /dev/null 2>&1").c_str()) != 0) {
        if (whyNot != nullptr)
            *whyNot = "redis-cli --cluster create failed";
        return false;
    }
    for (int i = 0; i < 400; ++i) {
        if (formed())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (whyNot != nullptr)
        *whyNot = "the cluster did not reach cluster_state:ok with every replica linked in 20 s";
    return false;
}

bool RedisTestCluster::formed() const
{
    for (int i = 0; i < size(); ++i) {
        const RedisAddress node = m_servers[std::size_t(i)]->adminAddress();
        if (text(ask(node, {"CLUSTER", "INFO"})).find("cluster_state:ok") == std::string::npos)
            return false;
        if (!isPrimary(i) && !replicaLinked(i))
            return false;
    }
    return true;
}

bool RedisTestCluster::replicaLinked(int index) const
{
    return text(ask(m_servers[std::size_t(index)]->adminAddress(), {"INFO", "replication"}))
               .find("master_link_status:up") != std::string::npos;
}

bool RedisTestCluster::isPrimary(int index) const
{
    const RedisTestServer& server = *m_servers[std::size_t(index)];
    if (server.pid() <= 0)
        return false;
    const RedisReply role = ask(server.adminAddress(), {"ROLE"});
    return role && role->type == REDIS_REPLY_ARRAY && role->elements > 0 &&
           role->element[0]->type == REDIS_REPLY_STRING &&
           std::string(role->element[0]->str, role->element[0]->len) == "master";
}

std::vector<int> RedisTestCluster::primaries() const
{
    std::vector<int> found;
    for (int i = 0; i < size(); ++i) {
        if (isPrimary(i))
            found.push_back(i);
    }
    return found;
}

void RedisTestCluster::cutReplication(int index)
{
    RedisConnection connection(m_servers[std::size_t(index)]->adminAddress());
    std::string error;
    if (!connection.connect(error))
        return;
    // Its replicas log in as the admin user: turned off, they cannot reconnect. This connection
    // stays logged in for the kill.
    if (m_servers[std::size_t(index)]->usesAcl())
        connection.command({"ACL", "SETUSER", RedisTestServer::kAdminUser, "off"});
    connection.command({"CLIENT", "KILL", "TYPE", "replica"});
}

void RedisTestCluster::kill(int index)
{
    m_servers[std::size_t(index)]->crash();
}

bool RedisTestCluster::waitUntilServed(int timeoutMs) const
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < until) {
        bool served = true;
        for (int i = 0; i < size() && served; ++i) {
            const RedisTestServer& server = *m_servers[std::size_t(i)];
            if (server.pid() <= 0)
                continue;
            served = text(ask(server.adminAddress(), {"CLUSTER", "INFO"})).find("cluster_state:ok") !=
                     std::string::npos;
            for (int slot : {0, 5461, 10923, 16383})
                served = served && primaryOf(std::uint16_t(slot)) >= 0;
        }
        if (served)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

bool RedisTestCluster::restart(int index, int timeoutMs)
{
    if (!m_servers[std::size_t(index)]->start())
        return false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < until) {
        if (replicaLinked(index) || (isPrimary(index) && formed()))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
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
    std::vector<std::string> args = m_servers.front()->votedArguments();
    // The credentials of one server are every server's; the place is the whole list.
    args.erase(args.begin(), args.begin() + 2);
    args.insert(args.begin(), {"--redis-cluster", list});
    return args;
}

std::string RedisTestCluster::nodeId(int server) const
{
    return text(ask(m_servers[std::size_t(server)]->adminAddress(), {"CLUSTER", "MYID"}));
}

int RedisTestCluster::primaryOf(std::uint16_t slot) const
{
    for (const auto& server : m_servers) {
        if (server->pid() <= 0)
            continue;
        const RedisReply reply = ask(server->adminAddress(), {"CLUSTER", "SLOTS"});
        RedisClusterSlots map;
        std::string error;
        if (!reply || !map.update(*reply, "127.0.0.1", error) || map.primary(slot) == nullptr)
            continue;
        for (std::size_t i = 0; i < m_servers.size(); ++i) {
            if (m_servers[i]->port() == map.primary(slot)->port && m_servers[i]->pid() > 0)
                return int(i);
        }
        return -1;
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
    const RedisAddress source = m_servers[std::size_t(from)]->adminAddress();
    const RedisAddress target = m_servers[std::size_t(toPrimary)]->adminAddress();
    const std::string slotText = std::to_string(slot);
    ask(target, {"CLUSTER", "SETSLOT", slotText, "IMPORTING", nodeId(from)});
    ask(source, {"CLUSTER", "SETSLOT", slotText, "MIGRATING", nodeId(toPrimary)});
    const RedisReply keys = ask(source, {"CLUSTER", "GETKEYSINSLOT", slotText, "1000"});
    if (!keys || keys->type != REDIS_REPLY_ARRAY)
        return fail("CLUSTER GETKEYSINSLOT failed");
    if (keys->elements > 0) {
        RedisConnection::Args migrate{"MIGRATE", target.host, std::to_string(target.port), "", "0", "5000"};
        if (!target.user.empty())
            migrate.insert(migrate.end(), {"AUTH2", target.user, target.password});
        migrate.emplace_back("KEYS");
        for (std::size_t i = 0; i < keys->elements; ++i)
            migrate.emplace_back(keys->element[i]->str, keys->element[i]->len);
        if (text(ask(source, migrate)) != "OK")
            return fail("MIGRATE failed");
    }
    const std::string owner = nodeId(toPrimary);
    for (const auto& server : m_servers)
        ask(server->adminAddress(), {"CLUSTER", "SETSLOT", slotText, "NODE", owner});
    return primaryOf(slot) == toPrimary;
}

} // namespace quorix::service::test
