#pragma once

// How the history answer (VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES) carries each vote's start instant
// in its `extend` map, which the desktop add-on never reads (docs/protocol.md):
//   "startedAt:<recordKey>" -> the Unix second the vote started
// An entry stored without its instant has none; its record's timeText stands alone.

#include <quorix/protocol/voterecords.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace quorix::service {

class HistoryExtend
{
public:
    static constexpr const char* kPrefix = "startedAt:";

    static std::string key(std::uint32_t recordKey);
    static std::string value(std::int64_t startedAtUnix);
    // The start second an entry's value names; nullopt when it is not a positive decimal number.
    static std::optional<std::int64_t> readStart(const std::string& value);
    // The bytes one entry takes in an encoded body.
    static std::size_t wireBytes(std::uint32_t recordKey, std::int64_t startedAtUnix);
};

} // namespace quorix::service
