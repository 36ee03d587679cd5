#pragma once

// A private CA and certificates for a test, made with the openssl command in a folder of the test's
// own and removed with it: ca.pem (and ca.key) and server.pem / server.key, signed by the CA, for
// 127.0.0.1, ::1 and localhost; locked.key is server.key under the pass phrase "secret". issue() and
// selfSign() make more, for tests of certificate checks.

#include <filesystem>
#include <string>

namespace quorix::service::test {

class TestCertificates
{
public:
    explicit TestCertificates(const std::string& name = "tls");
    ~TestCertificates();
    TestCertificates(const TestCertificates&) = delete;
    TestCertificates& operator=(const TestCertificates&) = delete;

    // NAME.pem and NAME.key, signed by the CA, for the subject alternative names `names`
    // ("DNS:localhost,IP:127.0.0.1"), valid for `days` from now; -1 makes one that expired.
    void issue(const std::string& name, const std::string& names, int days = 2);
    // NAME.pem and NAME.key, signed by their own key rather than the CA.
    void selfSign(const std::string& name, const std::string& names);

    std::string path(const std::string& name) const { return (folder / name).string(); }

    const std::filesystem::path folder;

private:
    // Runs `openssl ARGUMENTS` in the folder; a failure fails the test.
    void run(const std::string& arguments) const;
};

} // namespace quorix::service::test
