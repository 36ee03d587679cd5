#pragma once

#include <string>

namespace CLI {
class App;
}

namespace quorix::service {

// What `quorix-voted backup` is asked to copy: the data folder of a service (running or not) and
// the file the copy goes to.
struct BackupRequest
{
    std::string dataDir;
    std::string outFile;

    // Adds the command's options (both needed) to command, each kept in a field of this.
    void addOptionsTo(CLI::App& command);
};

} // namespace quorix::service
