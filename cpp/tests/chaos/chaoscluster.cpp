#include "chaoscluster.h"

#include <signal.h>
#include <unistd.h>

#include <filesystem>

namespace quorix::service::test {

ChaosCluster::ChaosCluster(std::string votedPath, ChaosMode mode, int nodes)
    : m_votedPath(std::move(votedPath)), m_mode(mode), m_nodes(std::size_t(nodes)),
      m_paused(std::size_t(nodes))
{
    if (m_mode == ChaosMode::Redis)
        m_redis = std::make_unique<RedisTestServer>(RedisTestServer::Persistence::AppendFsyncAlways);
    m_dataDir =
        (std::filesystem::temp_directory_path() / ("quorix-chaos-" + std::to_string(::getpid()))).string();
}

ChaosCluster::~ChaosCluster()
{
    heal();
    m_nodes.clear();
    m_redis.reset();
    std::error_code ec;
    std::filesystem::remove_all(m_dataDir, ec);
}

std::unique_ptr<VotedProcess> ChaosCluster::launch() const
{
    std::vector<std::string> args{"--listen", "127.0.0.1:0"};
    if (m_mode == ChaosMode::Redis) {
        args.insert(args.end(), {"--redis", m_redis->address()});
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
