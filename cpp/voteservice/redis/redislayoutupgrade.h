#pragma once

// Moves the shared state of a single Redis written before the keys carried hash tags into the
// layout of rediskeys.h, once: one script (atomic, so a crash leaves either layout whole) that
// renames the keys of each sub-channel, splits the global deadlines, history places, vote counts
// and jiFang counter by channel, moves the user directory, and records the layout version in
// quorix:layout; a Redis that has it is left alone. Every node of the old layout must be stopped
// first: what it writes afterwards lands in keys the new one does not read.
//
// The script finds the old keys with SCAN and names keys it was not given, which only a single
// Redis allows: a cluster is never upgraded (docs/install.md, Moving to a cluster).

#include "voteservice/redis/redisconnection.h"

#include <string>

namespace quorix::service {

class RedisLayoutUpgrade
{
public:
    static constexpr const char* kVersion = "2";

    // Keys moved (0 when there was nothing to move, or the layout is current); -1 with a message
    // when Redis did not run the script.
    static long long run(RedisCommands& connection, std::string& error);
};

} // namespace quorix::service
