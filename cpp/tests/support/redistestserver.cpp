#include "redistestserver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

extern char** environ;

namespace quorix::service::test {

namespace {

constexpr const char* kRedisServer = "/usr/bin/redis-server";

std::uint16_t freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool accepts(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

} // namespace

RedisTestServer::RedisTestServer(Persistence persistence, std::uint64_t maxClients)
    : m_persistence(persistence), m_maxClients(maxClients)
{}

RedisTestServer::~RedisTestServer()
{
    m_persistence = Persistence::None;
    stop();
}

bool RedisTestServer::installed()
{
    return ::access(kRedisServer, X_OK) == 0;
}

bool RedisTestServer::start(std::string* whyNot)
{
    if (m_port == 0)
        m_port = freePort();
    if (m_dir.empty()) {
        // A fresh start: nothing left from an earlier server on the same port.
        m_dir =
            (std::filesystem::temp_directory_path() / ("quorix-redis-" + std::to_string(m_port))).string();
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    std::filesystem::create_directories(m_dir);
    const bool durable = m_persistence == Persistence::AppendFsyncAlways;
    std::vector<std::string> args{
        kRedisServer, "--port",       std::to_string(m_port), "--bind", "127.0.0.1", "--save",
        "",           "--appendonly", durable ? "yes" : "no", "--dir",  m_dir,       "--loglevel",
        "warning"};
    if (durable) {
        args.push_back("--appendfsync");
        args.push_back("always");
    }
    if (m_maxClients != 0) {
        args.push_back("--maxclients");
        args.push_back(std::to_string(m_maxClients));
    }
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawn(&m_pid, kRedisServer, &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) {
        m_pid = -1;
        if (whyNot != nullptr)
            *whyNot = std::string("could not start ") + kRedisServer + ": " + std::strerror(spawned);
        return false;
    }
    for (int i = 0; i < 200; ++i) {
        if (accepts(m_port))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    if (whyNot != nullptr)
        *whyNot = "redis-server did not answer on " + address();
    return false;
}

void RedisTestServer::endProcess(int signal)
{
    if (m_pid > 0) {
        ::kill(m_pid, signal);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

void RedisTestServer::crash()
{
    endProcess(SIGKILL);
}

void RedisTestServer::stop()
{
    endProcess(SIGTERM);
    if (!m_dir.empty() && m_persistence == Persistence::None) {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
        m_dir.clear();
    }
}

} // namespace quorix::service::test
