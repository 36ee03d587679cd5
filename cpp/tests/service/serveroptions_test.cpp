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
