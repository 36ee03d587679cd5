#include "tests/support/testcertificates.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace quorix::service::test {

namespace {

const char kNewKey[] = "-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes";

} // namespace

TestCertificates::TestCertificates(const std::string& name)
    : folder(std::filesystem::temp_directory_path() / ("quorix-" + name + "-" + std::to_string(::getpid())))
{
    std::filesystem::create_directories(folder);
    run(std::string("req -x509 ") + kNewKey + " -days 2 -subj /CN=ca -keyout ca.key -out ca.pem");
    issue("server", "IP:127.0.0.1,IP:::1,DNS:localhost");
    run("ec -in server.key -aes128 -passout pass:secret -out locked.key");
}

TestCertificates::~TestCertificates()
{
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

void TestCertificates::issue(const std::string& name, const std::string& names, int days)
{
    std::ofstream(folder / (name + ".ext")) << "subjectAltName=" << names << "\n";
    run(std::string("req ") + kNewKey + " -subj /CN=" + name + " -keyout " + name + ".key -out " + name +
        ".csr");
    run("x509 -req -in " + name + ".csr -CA ca.pem -CAkey ca.key -CAcreateserial -days " +
        std::to_string(days) + " -extfile " + name + ".ext -out " + name + ".pem");
}

void TestCertificates::selfSign(const std::string& name, const std::string& names)
{
    run(std::string("req -x509 ") + kNewKey + " -days 2 -subj /CN=" + name +
        " -addext subjectAltName=" + names + " -keyout " + name + ".key -out " + name + ".pem");
}

void TestCertificates::run(const std::string& arguments) const
{
    const std::string command = "cd '" + folder.string() + "' && openssl " + arguments + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

} // namespace quorix::service::test
