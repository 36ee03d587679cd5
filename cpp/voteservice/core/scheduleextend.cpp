#include "voteservice/core/scheduleextend.h"

#include <charconv>

namespace quorix::service {

namespace {

constexpr const char* kPending = " pending";
constexpr const char* kMissed = " missed";

std::optional<std::int64_t> decimal(const std::string& text)
{
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || at != end)
        return std::nullopt;
    return value;
}

bool endsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

bool ScheduleExtend::asksSchedule(const ExtendMap& extend)
{
    return extend.count(kStartAt) != 0 || cancels(extend);
}

bool ScheduleExtend::cancels(const ExtendMap& extend)
{
    const auto it = extend.find(kCancel);
    return it != extend.end() && it->second == "1";
}

std::optional<std::int64_t> ScheduleExtend::startAt(const ExtendMap& extend)
{
    const auto it = extend.find(kStartAt);
    return it == extend.end() ? std::nullopt : decimal(it->second);
}

ExtendMap ScheduleExtend::listEntries(const std::vector<VoteSchedule>& schedules)
{
    ExtendMap entries;
    for (const VoteSchedule& schedule : schedules)
        entries[kListPrefix + std::to_string(schedule.voteId)] =
            std::to_string(schedule.atUnix) + (schedule.missed ? kMissed : kPending);
    return entries;
}

bool ScheduleExtend::readListEntry(const std::string& key, const std::string& value, std::uint32_t& voteId,
                                   std::int64_t& atUnix, bool& missed)
{
    const std::string prefix = kListPrefix;
    if (key.compare(0, prefix.size(), prefix) != 0)
        return false;
    const auto id = decimal(key.substr(prefix.size()));
    missed = endsWith(value, kMissed);
    const std::size_t tail = std::string(missed ? kMissed : kPending).size();
    if (!id || *id <= 0 || *id > 0xffffffffLL || (!missed && !endsWith(value, kPending)))
        return false;
    const auto at = decimal(value.substr(0, value.size() - tail));
    if (!at)
        return false;
    voteId = std::uint32_t(*id);
    atUnix = *at;
    return true;
}

std::size_t ScheduleExtend::wireBytes(const ExtendMap& entries)
{
    std::size_t bytes = 0;
    for (const auto& [key, value] : entries)
        bytes += 2 + key.size() + 2 + value.size();
    return bytes;
}

} // namespace quorix::service
