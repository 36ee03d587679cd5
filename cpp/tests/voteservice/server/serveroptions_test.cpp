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
    const std::string secretFile = writeSecretFile("range-secret", "sixteen bytes or more");
    const struct
    {
        std::vector<std::string> args;
        std::string expected; // accepted: summary(); refused: the start of the message
        bool accepted;
    } rows[] = {
        {{}, defaults, true},
        {{"--listen", "[::1]:0"}, "::1:0 hz 10 sessions 20000/8 data quorix-data redis :0", true},
        {{"--listen=0.0.0.0:65535", "--insecure-no-auth"},
         "0.0.0.0:65535 hz 10 sessions 20000/8 data quorix-data redis :0",
         true},
        {{"--listen=0.0.0.0:65535"},
         "--listen 0.0.0.0 is not a loopback address and no keys check tokens: give --secret-file FILE or "
         "--keys "
         "FILE (docs/vote-service.md, Tokens), or --insecure-no-auth to trust every peer as it claims",
         false},
        {{"--listen", "[::]:1"}, "--listen :: is not a loopback address", false},
        {{"--http", "192.0.2.7:0"}, "--http 192.0.2.7 is not a loopback address", false},
        {{"--listen", "[::ffff:127.0.0.9]:1", "--http", "127.255.0.1:0"},
         "::ffff:127.0.0.9:1 hz 10 sessions 20000/8 data quorix-data redis :0",
         true},
        {{"--listen", "0.0.0.0:1", "--secret-file", secretFile},
         "0.0.0.0:1 hz 10 sessions 20000/8 data quorix-data redis :0",
         true},
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
        if (parsed)
            EXPECT_EQ(summary(options), row.expected) << given;
        else
            EXPECT_EQ(error.substr(0, row.expected.size()), row.expected) << given;
        EXPECT_FALSE(help) << given;
    }
    std::remove(secretFile.c_str());
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
