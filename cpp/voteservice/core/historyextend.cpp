#include "voteservice/core/historyextend.h"

#include <charconv>

namespace quorix::service {

std::string HistoryExtend::key(std::uint32_t recordKey)
{
    return kPrefix + std::to_string(recordKey);
}

std::string HistoryExtend::value(std::int64_t startedAtUnix)
{
    return std::to_string(startedAtUnix);
}

std::optional<std::int64_t> HistoryExtend::readStart(const std::string& value)
{
    std::int64_t seconds = 0;
    const char* end = value.data() + value.size();
    const auto [at, error] = std::from_chars(value.data(), end, seconds);
    if (value.empty() || error != std::errc() || at != end || seconds <= 0)
        return std::nullopt;
    return seconds;
}

std::size_t HistoryExtend::wireBytes(std::uint32_t recordKey, std::int64_t startedAtUnix)
{
    // Each text is its 2-byte length and its bytes.
    return 2 + key(recordKey).size() + 2 + value(startedAtUnix).size();
}

} // namespace quorix::service
