#pragma once

// How scheduled starts travel in the `extend` map every vote message ends with, which the desktop
// add-on sends empty and never reads (docs/protocol.md):
//   start request   "startAt" -> Unix second: schedule the start instead of starting now;
//                   "cancelSchedule" -> "1": forget the vote's schedule
//   start answer    "startAt" -> the second the vote is scheduled for
//   vote list       "schedule:<voteId>" -> "<Unix second> pending" or "<Unix second> missed"
//                   (query answer and push)

#include "voteservice/core/votestorage.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorix::service {

class ScheduleExtend
{
public:
    static constexpr const char* kStartAt = "startAt";
    static constexpr const char* kCancel = "cancelSchedule";
    static constexpr const char* kListPrefix = "schedule:";

    // Whether a start request asks to schedule or to cancel rather than to start now.
    static bool asksSchedule(const ExtendMap& extend);
    static bool cancels(const ExtendMap& extend);
    // The start second a request asks for; nullopt when absent or not a decimal number.
    static std::optional<std::int64_t> startAt(const ExtendMap& extend);

    // The vote list's entries of the place's schedules.
    static ExtendMap listEntries(const std::vector<VoteSchedule>& schedules);
    // One list entry read back: the vote id, start second and whether it was missed; false when the
    // entry is not a schedule's.
    static bool readListEntry(const std::string& key, const std::string& value, std::uint32_t& voteId,
                              std::int64_t& atUnix, bool& missed);
    // The bytes the entries take in an encoded body beyond an empty extend map.
    static std::size_t wireBytes(const ExtendMap& entries);
};

} // namespace quorix::service
