#pragma once

// Python's jwt (python/jwtmint.py) as an independent JWT implementation: signs the tests' tokens
// and verifies the service's. All requests of a call go to one python3 process.

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace quorix::service::test {

class PythonJwt
{
public:
    // One line per request (see jwtmint.py); empty when python3 or its jwt module could not run,
    // with the reason in whyNot.
    static std::vector<std::string> run(const std::vector<nlohmann::json>& requests, std::string& whyNot);
};

} // namespace quorix::service::test
