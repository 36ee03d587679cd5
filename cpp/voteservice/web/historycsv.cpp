#include "historycsv.h"

namespace quorix::service {

namespace {
std::string field(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

const char* kindOf(std::uint32_t voteType)
{
    return voteType == kGroupVote ? "group" : voteType == kJudgeVote ? "judge" : "normal";
}
} // namespace

std::string HistoryCsv::write(const std::vector<HistoryEntry>& entries)
{
    std::string out = "\xEF\xBB\xBFtime,vote_id,name,kind,started_by,option_id,option,tickets\r\n";
    for (const HistoryEntry& entry : entries) {
        const VoteHistoryRecord& r = entry.record;
        for (const auto& [optionId, text] : r.options) {
            const auto tickets = r.optionTickets.find(optionId);
            out += field(r.timeText) + "," + std::to_string(r.recordKey) + "," + field(r.name) + "," +
                   kindOf(r.voteType) + "," + field(r.adminNick) + "," + std::to_string(optionId) + "," +
                   field(text) + "," +
                   std::to_string(tickets == r.optionTickets.end() ? 0 : tickets->second) + "\r\n";
        }
    }
    return out;
}

} // namespace quorix::service
