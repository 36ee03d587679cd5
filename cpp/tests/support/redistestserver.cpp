#include "tests/support/redistestserver.h"

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
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

extern char** environ;

namespace quorix::service::test {

namespace {

constexpr const char* kRedisServer = "/usr/bin/redis-server";
constexpr const char* kServiceUser = "quorix";

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

std::uint16_t RedisTestServer::freePort()
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

RedisTestServer::RedisTestServer(Persistence persistence, std::uint64_t maxClients)
    : m_persistence(persistence), m_maxClients(maxClients)
{}

RedisTestServer::~RedisTestServer()
{
    m_persistence = Persistence::None;
    stop();
}

std::string RedisTestServer::serviceAcl()
{
    return std::string("on >") + kServicePassword +
           " resetchannels ~quorix:* &quorix:notices &quorix:{notices} -@all +ping +info +time +get +set "
           "+exists +incr +decr "
           "+del +hget +hmget +hgetall +hvals +hexists +hset +hsetnx +hincrby +hdel +rpush +llen +lindex "
           "+lrem +lpop +sadd +smembers +srem "
           "+zadd +zrem +zscore +zrangebyscore +zrevrangebyscore +eval +evalsha +script|load +publish "
           "+subscribe +wait +scan +rename +cluster|slots +asking +spublish +ssubscribe";
}

void RedisTestServer::useAcl(std::string aclRule, std::string password)
{
    m_aclRule = std::move(aclRule);
    m_password = std::move(password);
}

void RedisTestServer::addArguments(const std::vector<std::string>& args)
{
    m_extraArgs.insert(m_extraArgs.end(), args.begin(), args.end());
}

RedisAddress RedisTestServer::redisAddress() const
{
    RedisAddress address = RedisAddress::tcp("127.0.0.1", m_port);
    if (m_tls) {
        address.transport = RedisAddress::Transport::Tls;
        address.caFile = file("ca.crt");
        address.certificateFile = file("client.crt");
        address.keyFile = file("client.key");
    } else if (m_unixSocket) {
        address.transport = RedisAddress::Transport::Unix;
        address.socketPath = file("redis.sock");
    }
    if (!m_aclRule.empty()) {
        address.user = kServiceUser;
        address.password = m_password;
    }
    return address;
}

RedisAddress RedisTestServer::adminAddress() const
{
    RedisAddress address = redisAddress();
    if (usesAcl()) {
        address.user = kAdminUser;
        address.password = kAdminPassword;
    }
    return address;
}

void RedisTestServer::pause()
{
    if (m_pid > 0)
        ::kill(m_pid, SIGSTOP);
}

void RedisTestServer::resume()
{
    if (m_pid > 0)
        ::kill(m_pid, SIGCONT);
}

std::vector<std::string> RedisTestServer::votedArguments() const
{
    const RedisAddress address = redisAddress();
    std::vector<std::string> args{"--redis", address.describe()};
    if (m_tls)
        args.insert(args.end(), {"--redis-ca-file", address.caFile, "--redis-cert", address.certificateFile,
                                 "--redis-key", address.keyFile});
    if (!m_aclRule.empty())
        args.insert(args.end(), {"--redis-user", address.user, "--redis-password-file", file("password")});
    return args;
}

// A CA, and a server and a client certificate it signed, made with the openssl command.
bool RedisTestServer::makeCertificates(std::string* whyNot) const
{
    std::ofstream(file("server.ext")) << "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
    const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    std::string script = "(cd '" + m_dir + "' && openssl req -x509" + key +
                         " -keyout ca.key -out ca.crt -days 2 -subj /CN=quorix-test-ca";
    for (const char* name : {"server", "client"})
        script += std::string(" && openssl req") + key + " -keyout " + name + ".key -out " + name +
                  ".csr -subj /CN=" + name + " && openssl x509 -req -in " + name +
                  ".csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 -out " + name + ".crt" +
                  (std::string(name) == "server" ? " -extfile server.ext" : "");
    if (std::system((script + ") > /dev/null 2>&1").c_str()) == 0)
        return true;
    if (whyNot != nullptr)
        *whyNot = "the openssl command could not make the test certificates";
    return false;
}

std::vector<std::string> RedisTestServer::securityArguments() const
{
    std::vector<std::string> args;
    if (m_tls)
        args = {"--port",
                "0",
                "--tls-port",
                std::to_string(m_port),
                "--tls-cert-file",
                file("server.crt"),
                "--tls-key-file",
                file("server.key"),
                "--tls-ca-cert-file",
                file("ca.crt"),
                "--tls-auth-clients",
                "yes"};
    if (m_unixSocket)
        args.insert(args.end(), {"--unixsocket", file("redis.sock"), "--unixsocketperm", "700"});
    if (!m_aclRule.empty())
        args.insert(args.end(), {"--aclfile", file("users.acl")});
    args.insert(args.end(), m_extraArgs.begin(), m_extraArgs.end());
    return args;
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
    if (m_tls && !makeCertificates(whyNot))
        return false;
    if (!m_aclRule.empty()) {
        // The default user cannot log in but keeps its permissions: Redis 7.0 replays the
        // append-only file's transactions as that user, and drops the writes it may not make.
        std::ofstream(file("users.acl"))
            << "user default off ~* &* +@all\nuser " << kAdminUser << " on >" << kAdminPassword
            << " ~* &* +@all\nuser " << kServiceUser << " " << m_aclRule << "\n";
        std::ofstream(file("password")) << m_password << "\n";
    }
    const std::vector<std::string> security = securityArguments();
    args.insert(args.end(), security.begin(), security.end());
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
        // A paused server would not act on SIGTERM.
        ::kill(m_pid, SIGCONT);
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
