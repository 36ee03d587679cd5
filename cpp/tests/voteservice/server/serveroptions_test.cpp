#include "serveroptions.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace quorix::service {
namespace {

std::string writeSecretFile(const std::string& name, const std::string& contents)
{
    const std::string path = ::testing::TempDir() + "/serveroptions-" + name;
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

TEST(ServerOptionsTest, SecretFilesAreBoundedAndSecretsLongEnough)
{
    const struct
    {
        const char* name;
        std::string contents;
        bool accepted;
        std::string expected; // accepted: the secret; refused: part of the message
    } rows[] = {
        {"one byte", "x", false, "is shorter than 16 bytes (it has 1)"},
        {"fifteen bytes and a line break", "abcdefghijklmno\n", false, "(it has 15)"},
        {"only line breaks", "\r\n\n", false, "(it has 0)"},
        {"sixteen bytes", "abcdefghijklmnop", true, "abcdefghijklmnop"},
        {"sixteen bytes and CRLF", "abcdefghijklmnop\r\n", true, "abcdefghijklmnop"},
        {"the largest file", std::string(4095, 's') + "\n", true, std::string(4095, 's')},
        {"one byte too many", std::string(4097, 's'), false, "is longer than 4096 bytes"},
    };
    for (const auto& row : rows) {
        const std::string path = writeSecretFile(row.name, row.contents);
        std::string secret, error;
        EXPECT_EQ(ServerOptions::readSecret(path, secret, error), row.accepted) << row.name << ": " << error;
        if (row.accepted) {
            EXPECT_EQ(secret, row.expected) << row.name;
        } else {
            EXPECT_NE(error.find(row.expected), std::string::npos) << row.name << ": " << error;
            EXPECT_NE(error.find(path), std::string::npos) << "the message names the file: " << error;
        }
        std::remove(path.c_str());
    }
}

TEST(ServerOptionsTest, AnEndlessSecretFileIsRefusedAfterItsBound)
{
    std::string secret, error;
    EXPECT_FALSE(ServerOptions::readSecret("/dev/zero", secret, error));
    EXPECT_NE(error.find("longer than 4096 bytes"), std::string::npos) << error;
    EXPECT_FALSE(ServerOptions::readSecret("/nonexistent/secret", secret, error));
    EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
}

TEST(ServerOptionsTest, StorageOptionsExcludeEachOther)
{
    const struct
    {
        std::vector<std::string> args;
        const char* error; // null: accepted
    } rows[] = {
        {{"--memory"}, nullptr},
        {{"--data", "d"}, nullptr},
        {{"--redis", "127.0.0.1:6379"}, nullptr},
        {{}, nullptr},
        {{"--memory", "--data", "d"}, "--memory and --data cannot be combined"},
        {{"--data", "d", "--memory"}, "--memory and --data cannot be combined"},
        {{"--redis", "127.0.0.1:6379", "--memory"}, "--redis and --memory cannot be combined"},
        {{"--data", "d", "--redis", "127.0.0.1:6379"}, "--redis and --data cannot be combined"},
        {{"--memory", "--data", "d", "--redis", "127.0.0.1:6379"}, "--memory and --data cannot be combined"},
    };
    for (const auto& row : rows) {
        ServerOptions options;
        bool help = false;
        std::string error;
        const bool parsed = ServerOptions::parse(row.args, options, help, error);
        std::string given;
        for (const std::string& arg : row.args)
            given += arg + " ";
        EXPECT_EQ(parsed, row.error == nullptr) << given << error;
        if (row.error) {
            EXPECT_NE(error.find(row.error), std::string::npos) << given << error;
        }
    }
}

// The options' values in one line, to compare a whole parse at once.
std::string summary(const ServerOptions& o)
{
    return o.host + ":" + std::to_string(o.port) + " hz " + std::to_string(o.broadcastHz) + " sessions " +
           std::to_string(o.maxSessions) + "/" + std::to_string(o.maxSessionsPerUser) + " data " + o.dataDir +
           (o.memoryOnly ? " memory" : "") + " redis " + o.redisHost + ":" + std::to_string(o.redisPort);
}

TEST(ServerOptionsTest, EachOptionKeepsItsRangeAndForm)
{
    const std::string defaults = "127.0.0.1:27500 hz 10 sessions 20000/8 data quorix-data redis :0";
    const struct
    {
        std::vector<std::string> args;
        std::string expected; // accepted: summary(); refused: the whole message
        bool accepted;
    } rows[] = {
        {{}, defaults, true},
        {{"--listen", "[::1]:0"}, "::1:0 hz 10 sessions 20000/8 data quorix-data redis :0", true},
        {{"--listen=0.0.0.0:65535"}, "0.0.0.0:65535 hz 10 sessions 20000/8 data quorix-data redis :0", true},
        {{"--listen", "127.0.0.2:1", "--listen", "127.0.0.3:2"},
         "127.0.0.3:2 hz 10 sessions 20000/8 data quorix-data redis :0",
         true},
        {{"--listen", "host.example:80"},
         "--listen wants an IP address and a port, such as 127.0.0.1:80 or [::1]:80, got host.example:80",
         false},
        {{"--listen", "[::1x]:80"},
         "--listen wants an IP address and a port, such as 127.0.0.1:80 or [::1]:80, got [::1x]:80",
         false},
        {{"--redis", "redis.example:6379"},
         "127.0.0.1:27500 hz 10 sessions 20000/8 data quorix-data redis redis.example:6379",
         true},
        {{"--listen", "host:65536"}, "--listen wants HOST:PORT, got host:65536", false},
        {{"--listen", ":80"}, "--listen wants HOST:PORT, got :80", false},
        {{"--listen", "host:+80"}, "--listen wants HOST:PORT, got host:+80", false},
        {{"--broadcast-hz", "1000", "--max-sessions", "10000000", "--max-sessions-per-user", "010"},
         "127.0.0.1:27500 hz 1000 sessions 10000000/10 data quorix-data redis :0",
         true},
        {{"--broadcast-hz", "1001"}, "--broadcast-hz wants 1 to 1000, got 1001", false},
        {{"--broadcast-hz", "0x10"}, "--broadcast-hz wants 1 to 1000, got 0x10", false},
        {{"--max-sessions", "10000001"}, "--max-sessions wants a positive number, got 10000001", false},
        {{"--max-sessions", "1e3"}, "--max-sessions wants a positive number, got 1e3", false},
        {{"--max-sessions-per-user", " 5"}, "--max-sessions-per-user wants a positive number, got  5", false},
        {{"--redis", "[::1]:6379"},
         "127.0.0.1:27500 hz 10 sessions 20000/8 data quorix-data redis ::1:6379",
         true},
        {{"--redis", "localhost:0"}, "--redis wants HOST:PORT, got localhost:0", false},
        {{"--data", "d", "--data", "e"}, "127.0.0.1:27500 hz 10 sessions 20000/8 data e redis :0", true},
        {{"--data", ""}, "--data wants a folder", false},
        {{"--bogus", "1"}, "unknown option or argument: --bogus 1", false},
        {{"token"}, "unknown option or argument: token", false},
    };
    for (const auto& row : rows) {
        ServerOptions options;
        bool help = false;
        std::string error;
        std::string given;
        for (const std::string& arg : row.args)
            given += arg + " ";
        const bool parsed = ServerOptions::parse(row.args, options, help, error);
        EXPECT_EQ(parsed, row.accepted) << given << error;
        EXPECT_EQ(parsed ? summary(options) : error, row.expected) << given;
        EXPECT_FALSE(help) << given;
    }
}

TEST(ServerOptionsTest, PerAddressLimitsAndTheDrainTimeoutHaveDefaultsAndRanges)
{
    const struct
    {
        std::vector<std::string> args;
        std::string expected; // accepted: "open N new N drain N"; refused: the whole message
        bool accepted;
    } rows[] = {
        {{}, "open 64 new 32 drain 10", true},
        {{"--max-connections-per-address", "0", "--max-new-connections-per-address-per-second", "0"},
         "open 0 new 0 drain 10",
         true},
        {{"--max-connections-per-address=1000", "--drain-timeout", "3600"},
         "open 1000 new 32 drain 3600",
         true},
        {{"--max-connections-per-address", "-1"},
         "--max-connections-per-address wants a number (0: no limit), got -1",
         false},
        {{"--drain-timeout", "0"}, "--drain-timeout wants 1 to 3600 seconds, got 0", false},
        {{"--drain-timeout", "3601"}, "--drain-timeout wants 1 to 3600 seconds, got 3601", false},
    };
    for (const auto& row : rows) {
        ServerOptions options;
        bool help = false;
        std::string error;
        const bool accepted = ServerOptions::parse(row.args, options, help, error);
        EXPECT_EQ(accepted, row.accepted) << row.expected;
        const std::string got = accepted
                                    ? "open " + std::to_string(options.maxConnectionsPerAddress) + " new " +
                                          std::to_string(options.maxNewConnectionsPerAddressPerSecond) +
                                          " drain " + std::to_string(options.drainTimeoutSeconds)
                                    : error;
        EXPECT_EQ(got, row.expected);
    }
    // Built in code, a server bounds nothing per address.
    EXPECT_EQ(ServerOptions().maxConnectionsPerAddress, 0u);
    EXPECT_EQ(ServerOptions().maxNewConnectionsPerAddressPerSecond, 0u);
}

TEST(ServerOptionsTest, TheTimeZoneIsTheSystemsOrAKnownZone)
{
    const struct
    {
        std::vector<std::string> args;
        std::string expected; // accepted: the zone kept; refused: the whole message
        bool accepted;
    } rows[] = {
        {{}, "", true},
        {{"--time-zone", "Asia/Shanghai"}, "Asia/Shanghai", true},
        {{"--time-zone=UTC"}, "UTC", true},
        {{"--time-zone", "Europe/Berlin", "--time-zone", "America/New_York"}, "America/New_York", true},
        {{"--time-zone", "Asia/Atlantis"},
         "--time-zone wants UTC or a zone name such as Asia/Shanghai, got Asia/Atlantis",
         false},
        {{"--time-zone", "/etc/passwd"},
         "--time-zone wants UTC or a zone name such as Asia/Shanghai, got /etc/passwd",
         false},
        {{"--time-zone", ""}, "--time-zone wants UTC or a zone name such as Asia/Shanghai, got ", false},
    };
    for (const auto& row : rows) {
        ServerOptions options;
        bool help = false;
        std::string error;
        const bool parsed = ServerOptions::parse(row.args, options, help, error);
        EXPECT_EQ(parsed, row.accepted) << row.expected << error;
        EXPECT_EQ(parsed ? options.timeZone : error, row.expected);
    }
}

TEST(ServerOptionsTest, AValueMissingAtTheEndIsRefusedAndHelpIsReported)
{
    ServerOptions options;
    bool help = false;
    std::string error;
    EXPECT_FALSE(ServerOptions::parse({"--memory", "--listen"}, options, help, error));
    EXPECT_NE(error.find("--listen"), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_TRUE(ServerOptions::parse({"--help"}, options, help, error));
    EXPECT_TRUE(help);
}

TEST(ServerOptionsTest, AnUnreadableSecretFileIsRefusedWithTheSystemsReason)
{
    const struct
    {
        std::string path;
        const char* reason;
    } rows[] = {{"/nonexistent/secret", "No such file or directory"},
                {::testing::TempDir(), "Is a directory"}};
    for (const auto& row : rows) {
        std::string secret, error;
        EXPECT_FALSE(ServerOptions::readSecret(row.path, secret, error));
        EXPECT_EQ(error, "cannot read the secret file " + row.path + ": " + row.reason);
    }
}

TEST(ServerOptionsTest, ASecretFileOptionKeepsTheTrimmedSecret)
{
    const std::string path = writeSecretFile("option", "0123456789abcdef0123\n");
    ServerOptions options;
    bool help = false;
    std::string error;
    ASSERT_TRUE(ServerOptions::parse({"--secret-file", path, "--memory"}, options, help, error)) << error;
    ASSERT_TRUE(options.secret);
    EXPECT_EQ(*options.secret, "0123456789abcdef0123");
    std::remove(path.c_str());
}

} // namespace
} // namespace quorix::service
