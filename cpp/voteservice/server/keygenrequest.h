#pragma once

#include <string>

namespace CLI {
class App;
}

namespace quorix::service {

// What `quorix-voted keygen` is asked to write: a new ES256 key pair (KeyPairFiles).
struct KeygenRequest
{
    std::string privateKeyFile;
    std::string jwksFile;

    // Adds the command's options to command, both needed.
    void addOptionsTo(CLI::App& command);
};

} // namespace quorix::service
