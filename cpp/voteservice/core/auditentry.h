#pragma once

// One line of the audit trail: a manager request (create, update, delete, batchDelete, start,
// schedule, cancelSchedule, stop, close) and how the core answered it, with who asked and from
// where; or a scheduled start the service made (scheduledStart) or could not make (scheduleMissed)
// on behalf of the manager who scheduled it, transport "schedule". The nick is not in
// it: clients choose their nicks; uid and imid name the user.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorix::service {

struct AuditEntry
{
    std::int64_t unixSeconds = 0;
    std::string action;
    std::uint32_t result = 0;
    std::uint32_t uid = 0;
    std::uint32_t imid = 0;
    std::uint32_t role = 0;
    std::uint32_t channelId = 0;
    std::uint32_t subChannelId = 0;
    // The vote and the run the answer names, when it names one.
    std::optional<std::uint32_t> voteId;
    std::optional<std::uint32_t> jiFangId;
    // schedule, scheduledStart, scheduleMissed: the second the start was scheduled for.
    std::optional<std::int64_t> startAtUnix;
    // batchDelete: every vote it asked for.
    std::vector<std::uint32_t> voteIds;
    std::string transport;
    std::string peer;
    std::string tokenId; // the token's jti; empty when it has none
};

} // namespace quorix::service
