#include "tests/chaos/chaoscluster.h"

#include <hiredis/hiredis.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

namespace quorix::service::test {

namespace {

// One command to the redis-server on port, after AUTH as user when one is given; its reply as
// text ("" when it failed).
std::string ask(std::uint16_t port, const std::string& user, const std::string& password,
                const std::string& command)
{
    redisContext* context = redisConnect("127.0.0.1", port);
    std::string text;
    if (!user.empty() && context != nullptr && context->err == 0)
        freeReplyObject(redisCommand(context, "AUTH %s %s", user.c_str(), password.c_str()));
    if (context != nullptr && context->err == 0) {
        auto* reply = static_cast<redisReply*>(redisCommand(context, command.c_str()));
        if (reply != nullptr && (reply->type == REDIS_REPLY_STATUS || reply->type == REDIS_REPLY_STRING))
            text.assign(reply->str, reply->len);
        freeReplyObject(reply);
    }
    redisFree(context);
    return text;
}

std::string ask(std::uint16_t port, const std::string& command)
{
    return ask(port, "", "", command);
}

double cpuSeconds(std::uint16_t port, const std::string& user, const std::string& password)
{
    const std::string info = ask(port, user, password, "INFO cpu");
    double seconds = 0;
    for (const char* field : {"used_cpu_sys:", "used_cpu_user:"}) {
        const std::size_t at = info.find(field);
        if (at != std::string::npos)
            seconds += std::strtod(info.c_str() + at + std::strlen(field), nullptr);
    }
    return seconds;
}

} // namespace

ChaosCluster::ChaosCluster(std::string votedPath, ChaosMode mode, int nodes, int minReplicas)
    : m_votedPath(std::move(votedPath)), m_mode(mode), m_nodes(std::size_t(nodes)),
      m_paused(std::size_t(nodes)), m_minReplicas(minReplicas)
{
    if (m_mode == ChaosMode::Redis)
        m_redis = std::make_unique<RedisTestServer>(RedisTestServer::Persistence::AppendFsyncAlways);
    if (m_mode == ChaosMode::Failover) {
        m_redis = std::make_unique<RedisTestServer>();
        m_replica = std::make_unique<RedisTestServer>();
    }
    if (m_mode == ChaosMode::Cluster) {
        m_redisCluster = std::make_unique<RedisTestCluster>(3, 1);
        m_redisCluster->useServiceAcl();
    }
    m_dataDir =
        (std::filesystem::temp_directory_path() / ("quorix-chaos-" + std::to_string(::getpid()))).string();
}

ChaosCluster::~ChaosCluster()
{
    heal();
    m_nodes.clear();
    m_endpoint.reset();
    m_replication.reset();
    m_redis.reset();
    m_replica.reset();
    m_redisCluster.reset();
    std::error_code ec;
    std::filesystem::remove_all(m_dataDir, ec);
}

std::unique_ptr<VotedProcess> ChaosCluster::launch() const
{
    std::vector<std::string> args{"--listen", "127.0.0.1:0"};
    if (m_redis || m_redisCluster) {
        if (m_redisCluster) {
            const std::vector<std::string> cluster = m_redisCluster->votedArguments();
            args.insert(args.end(), cluster.begin(), cluster.end());
        } else {
            args.insert(args.end(), {"--redis", redisAddress()});
        }
        if (m_minReplicas >= 0)
            args.insert(args.end(), {"--redis-min-replicas", std::to_string(m_minReplicas)});
    } else {
        args.insert(args.end(), {"--data", m_dataDir});
    }
    auto node = std::make_unique<VotedProcess>(m_votedPath, args);
    if (node->waitForPort() == 0)
        return nullptr;
    return node;
}

bool ChaosCluster::start(std::string& error)
{
    if (m_redis && !m_redis->start()) {
        error = "redis-server did not start";
        return false;
    }
    if (m_redisCluster && !m_redisCluster->start(&error))
        return false;
    if (m_replica) {
        if (!m_replica->start() || !follow()) {
            error = "the Redis replica did not start";
            return false;
        }
        m_endpoint = std::make_unique<CuttingProxy>(m_redis->port());
    }
    std::filesystem::create_directories(m_dataDir);
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& node : m_nodes) {
        node = launch();
        if (!node) {
            error = "quorix-voted did not start";
            return false;
        }
    }
    return true;
}

std::vector<std::uint16_t> ChaosCluster::answeringPorts() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::uint16_t> ports;
    for (std::size_t i = 0; i < m_nodes.size(); ++i) {
        if (m_nodes[i] && !m_paused[i])
            ports.push_back(m_nodes[i]->port());
    }
    return ports;
}

bool ChaosCluster::isUp(int node) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nodes[std::size_t(node)] && !m_paused[std::size_t(node)];
}

void ChaosCluster::kill(int node)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto& process = m_nodes[std::size_t(node)];
    if (!process)
        return;
    process->kill(SIGKILL);
    process.reset();
    m_paused[std::size_t(node)] = false;
}

void ChaosCluster::pause(int node)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_nodes[std::size_t(node)] && !m_paused[std::size_t(node)]) {
        ::kill(m_nodes[std::size_t(node)]->pid(), SIGSTOP);
        m_paused[std::size_t(node)] = true;
    }
}

void ChaosCluster::resume(int node)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_nodes[std::size_t(node)] && m_paused[std::size_t(node)]) {
        ::kill(m_nodes[std::size_t(node)]->pid(), SIGCONT);
        m_paused[std::size_t(node)] = false;
    }
}

bool ChaosCluster::restart(int node)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto& process = m_nodes[std::size_t(node)];
    if (!process)
        process = launch();
    return process != nullptr;
}

bool ChaosCluster::restartRedis()
{
    if (!m_redis)
        return true;
    m_redis->crash();
    return m_redis->start();
}

std::string ChaosCluster::redisAddress() const
{
    return m_endpoint ? "127.0.0.1:" + std::to_string(m_endpoint->port()) : m_redis->address();
}

bool ChaosCluster::follow()
{
    m_replication = std::make_unique<CuttingProxy>(m_redis->port());
    if (ask(m_replica->port(), "REPLICAOF 127.0.0.1 " + std::to_string(m_replication->port())) != "OK")
        return false;
    for (int i = 0; i < 400; ++i) {
        if (ask(m_replica->port(), "INFO replication").find("master_link_status:up") != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

bool ChaosCluster::failOver(int lagMs)
{
    m_replication->hold(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(lagMs));
    m_redis->crash();
    m_replication->cutAll();
    m_replication.reset();
    if (ask(m_replica->port(), "REPLICAOF NO ONE") != "OK")
        return false;
    m_endpoint->redirect(m_replica->port());
    std::swap(m_redis, m_replica);
    return m_replica->start() && follow();
}

ChaosCluster::PrimaryKill ChaosCluster::killPrimary(std::uint64_t pick, int lagMs)
{
    const std::vector<int> primaries = m_redisCluster->primaries();
    if (primaries.empty())
        return PrimaryKill::NoFailover;
    const int victim = primaries[pick % primaries.size()];
    m_redisCluster->cutReplication(victim);
    std::this_thread::sleep_for(std::chrono::milliseconds(lagMs));
    m_redisCluster->kill(victim);
    // Node timeout, the failure report's spread and the replica's election. Started again before
    // that, the killed primary would come back empty and still own its slots.
    if (!m_redisCluster->waitUntilServed(RedisTestCluster::kNodeTimeoutMs * 15))
        return PrimaryKill::NoFailover;
    return m_redisCluster->restart(victim, 30000) ? PrimaryKill::Rejoined : PrimaryKill::NotRejoined;
}

double ChaosCluster::redisCpuSeconds() const
{
    double seconds = 0;
    for (const RedisTestServer* server : {m_redis.get(), m_replica.get()}) {
        if (server != nullptr)
            seconds += cpuSeconds(server->port(), "", "");
    }
    for (int i = 0; m_redisCluster && i < m_redisCluster->size(); ++i)
        seconds += cpuSeconds(m_redisCluster->server(i).port(), RedisTestServer::kAdminUser,
                              RedisTestServer::kAdminPassword);
    return seconds;
}

void ChaosCluster::pauseRedis(std::uint64_t pick, int pauseMs)
{
    RedisTestServer& server = m_redisCluster->server(int(pick % std::uint64_t(m_redisCluster->size())));
    server.pause();
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    server.resume();
}

bool ChaosCluster::heal()
{
    bool healed = true;
    for (int i = 0; i < nodeCount(); ++i) {
        resume(i);
        healed = restart(i) && healed;
    }
    return healed;
}

std::uint16_t ChaosCluster::freshNode()
{
    if (m_mode == ChaosMode::Sqlite) {
        kill(0);
        return restart(0) ? m_nodes[0]->port() : 0;
    }
    auto node = launch();
    if (!node)
        return 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nodes.push_back(std::move(node));
    m_paused.push_back(false);
    return m_nodes.back()->port();
}

} // namespace quorix::service::test
