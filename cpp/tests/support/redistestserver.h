#pragma once

// A redis-server of a test's or a load run's own on a free loopback port, in a fresh folder; stopped
// when destroyed. Without persistence by default; a durable one writes an append-only file synced on
// every write (appendfsync always) and keeps its folder across stop() and crash(), so a restart
// finds what it saved. installed() is false when no redis-server is installed.
//
// Before start() it can be made to serve TLS only (a CA, a server certificate for 127.0.0.1 and
// localhost, and a client certificate that clients must show, all made by the openssl command in
// its folder), to listen on a Unix socket as well, and to take an ACL file: then the default user
// is off and clients log in as the user the ACL names. redisAddress() and votedArguments() say how
// a client reaches it with all of that. An ACL also holds an admin user with every permission, as
// an operator's own login (adminAddress()), for the set-up a service may not do: forming a cluster,
// replication (a replica logs in to its primary as it), CLUSTER INFO.

#include <sys/types.h>

#include "voteservice/redis/redisaddress.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorix::service::test {

class RedisTestServer
{
public:
    enum class Persistence
    {
        None,
        AppendFsyncAlways
    };

    // maxClients 0 keeps redis-server's own limit (10,000 clients).
    explicit RedisTestServer(Persistence persistence = Persistence::None, std::uint64_t maxClients = 0);
    ~RedisTestServer();
    RedisTestServer(const RedisTestServer&) = delete;
    RedisTestServer& operator=(const RedisTestServer&) = delete;

    // The ACL docs/install.md gives the service, for user quorix.
    static std::string serviceAcl();

    static bool installed();
    // A loopback port no one listens on now.
    static std::uint16_t freePort();
    void useTls() { m_tls = true; }
    void useUnixSocket() { m_unixSocket = true; }
    // aclRule: one ACL rule without the leading "user NAME " (as serviceAcl() gives it, or less);
    // password: the one the client sends, which may be another than the rule's.
    void useAcl(std::string aclRule, std::string password);
    // Given to redis-server after its own arguments (such as --maxmemory-policy allkeys-lru).
    void addArguments(const std::vector<std::string>& args);
    // The password the ACL's rule takes, for useAcl().
    static constexpr const char* kServicePassword = "quorix-test-password-0123456789";
    static constexpr const char* kAdminUser = "quorix-admin";
    static constexpr const char* kAdminPassword = "quorix-admin-password-0123456789";
    bool usesAcl() const { return !m_aclRule.empty(); }
    // Starts it (again on the same port after stop()); false when it could not be started or did
    // not answer in time, with the reason in whyNot when given.
    bool start(std::string* whyNot = nullptr);
    void stop();
    // SIGKILL, as a crash of the Redis process.
    void crash();

    pid_t pid() const { return m_pid; }
    std::uint16_t port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
    RedisAddress redisAddress() const;
    // As redisAddress(), logged in as the admin user when there is an ACL.
    RedisAddress adminAddress() const;
    // SIGSTOP and SIGCONT: a server that hangs, then goes on.
    void pause();
    void resume();
    // --redis and, as needed, --redis-user, --redis-password-file, --redis-ca-file, --redis-cert
    // and --redis-key for quorix-voted (the password file is written by start()).
    std::vector<std::string> votedArguments() const;

private:
    void endProcess(int signal);
    bool makeCertificates(std::string* whyNot) const;
    std::vector<std::string> securityArguments() const;
    std::string file(const std::string& name) const { return m_dir + "/" + name; }

    Persistence m_persistence;
    std::uint64_t m_maxClients;
    pid_t m_pid = -1;
    std::uint16_t m_port = 0;
    std::string m_dir;
    bool m_tls = false;
    bool m_unixSocket = false;
    std::string m_aclRule;
    std::string m_password;
    std::vector<std::string> m_extraArgs;
};

} // namespace quorix::service::test
