#include "redisserverprocess.h"

#include <hiredis/hiredis.h>

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
#include <thread>
#include <vector>

extern char** environ;

namespace quorix::loadgen {

namespace {
// A loopback port nobody listens on now (the kernel's choice for a bound socket).
std::uint16_t freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    std::uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}
} // namespace

RedisServerProcess::~RedisServerProcess()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
}

bool RedisServerProcess::start(std::uint64_t maxClients, std::string& error)
{
    m_port = freePort();
    if (m_port == 0) {
        error = "no free port for redis-server";
        return false;
    }
    std::vector<std::string> all{"redis-server",
                                 "--port",
                                 std::to_string(m_port),
                                 "--bind",
                                 "127.0.0.1",
                                 "--save",
                                 "",
                                 "--appendonly",
                                 "no",
                                 "--maxclients",
                                 std::to_string(maxClients)};
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawnp(&m_pid, "redis-server", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        m_pid = 0;
        error = std::string("could not start redis-server: ") + std::strerror(spawned);
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (answers())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    error = "redis-server did not answer on " + address();
    return false;
}

bool RedisServerProcess::answers() const
{
    redisContext* context = redisConnect("127.0.0.1", m_port);
    bool ok = false;
    if (context != nullptr && context->err == 0) {
        auto* reply = static_cast<redisReply*>(redisCommand(context, "PING"));
        ok = reply != nullptr && reply->type == REDIS_REPLY_STATUS;
        if (reply != nullptr)
            freeReplyObject(reply);
    }
    if (context != nullptr)
        redisFree(context);
    return ok;
}

} // namespace quorix::loadgen
