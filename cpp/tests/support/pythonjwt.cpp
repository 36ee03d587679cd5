#include "tests/support/pythonjwt.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <unistd.h>

namespace quorix::service::test {

std::vector<std::string> PythonJwt::run(const std::vector<nlohmann::json>& requests, std::string& whyNot)
{
    char input[] = "/tmp/quorix-jwtmint-XXXXXX";
    const int fd = mkstemp(input);
    if (fd < 0) {
        whyNot = "cannot create a temporary file";
        return {};
    }
    close(fd);
    {
        std::ofstream out(input);
        for (const nlohmann::json& request : requests)
            out << request.dump() << "\n";
    }
    const std::string command =
        std::string(QUORIX_TEST_PYTHON3) + " " + QUORIX_JWTMINT_SCRIPT + " < " + input;
    std::vector<std::string> lines;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (pipe) {
        std::string line;
        for (int c; (c = std::fgetc(pipe.get())) != EOF;) {
            if (c != '\n') {
                line.push_back(static_cast<char>(c));
                continue;
            }
            lines.push_back(line);
            line.clear();
        }
    }
    std::remove(input);
    if (lines.size() != requests.size()) {
        whyNot = std::string(QUORIX_TEST_PYTHON3) +
                 " with jwt and cryptography did not answer every request (scripts/setup installs "
                 "python3-jwt and python3-cryptography)";
        return {};
    }
    return lines;
}

} // namespace quorix::service::test
