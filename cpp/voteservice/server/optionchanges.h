#pragma once

// What a SIGHUP's rereading of the options changes. The reloadable options (flood-control rates, the fan-out
// budget, session and connection caps, the log level, the paths of the secret, key and TLS files) are taken
// from the reread options; the others keep the value the service started with, and are named so the log can
// say that they need a restart. Turning the token checks or TLS on or off needs a restart too.

#include "voteservice/server/serveroptions.h"

#include <string>
#include <vector>

namespace quorix::service {

struct OptionChanges
{
    // "max-sessions-per-user 8 → 4", one per reloadable option whose value differs.
    std::vector<std::string> applied;
    // Long option names without dashes, one per option that differs and needs a restart.
    std::vector<std::string> needRestart;

    // Copies the reloadable options of `reread` into `running` and says what differed.
    static OptionChanges apply(ServerOptions& running, const ServerOptions& reread);
};

} // namespace quorix::service
