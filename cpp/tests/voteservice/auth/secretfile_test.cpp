#include "voteservice/auth/secretfile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace quorix::service {
namespace {

std::string writeSecretFile(const std::string& name, const std::string& contents)
{
    const std::string path = ::testing::TempDir() + "/secretfile-" + name;
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

TEST(SecretFileTest, SecretFilesAreBoundedAndSecretsLongEnough)
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
        EXPECT_EQ(SecretFile::read(path, secret, error), row.accepted) << row.name << ": " << error;
        if (row.accepted) {
            EXPECT_EQ(secret, row.expected) << row.name;
        } else {
            EXPECT_NE(error.find(row.expected), std::string::npos) << row.name << ": " << error;
            EXPECT_NE(error.find(path), std::string::npos) << "the message names the file: " << error;
        }
        std::remove(path.c_str());
    }
}

TEST(SecretFileTest, AnEndlessSecretFileIsRefusedAfterItsBound)
{
    std::string secret, error;
    EXPECT_FALSE(SecretFile::read("/dev/zero", secret, error));
    EXPECT_NE(error.find("longer than 4096 bytes"), std::string::npos) << error;
    EXPECT_FALSE(SecretFile::read("/nonexistent/secret", secret, error));
    EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
}

TEST(SecretFileTest, AnUnreadableSecretFileIsRefusedWithTheSystemsReason)
{
    const struct
    {
        std::string path;
        const char* reason;
    } rows[] = {{"/nonexistent/secret", "No such file or directory"},
                {::testing::TempDir(), "Is a directory"}};
    for (const auto& row : rows) {
        std::string secret, error;
        EXPECT_FALSE(SecretFile::read(row.path, secret, error));
        EXPECT_EQ(error, "cannot read the secret file " + row.path + ": " + row.reason);
    }
}

} // namespace
} // namespace quorix::service
