#include "voteservice/web/historycsv.h"

namespace quorix::service {

namespace {

constexpr const char* kByteOrderMark = "\xEF\xBB\xBF";
constexpr const char* kHeader = "time,vote_id,name,kind,started_by,option_id,option,tickets";

bool looksLikeFormula(const std::string& text)
{
    return !text.empty() && std::string("=+-@\t\r").find(text.front()) != std::string::npos;
}

void appendField(std::string& out, const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

// A text a user typed: never read as a formula.
void appendText(std::string& out, const std::string& text)
{
    appendField(out, looksLikeFormula(text) ? "'" + text : text);
}

const char* kindOf(std::uint32_t voteType)
{
    switch (voteType) {
    case kGroupVote:
        return "group";
    case kJudgeVote:
        return "judge";
    default:
        return "normal";
    }
}

std::uint32_t ticketsOf(const VoteHistoryRecord& record, std::uint32_t optionId)
{
    const auto it = record.optionTickets.find(optionId);
    return it == record.optionTickets.end() ? 0 : it->second;
}

void appendRows(std::string& out, const VoteHistoryRecord& record)
{
    for (const auto& [optionId, option] : record.options) {
        appendField(out, record.timeText);
        out += ',' + std::to_string(record.recordKey) + ',';
        appendText(out, record.name);
        out += ',';
        out += kindOf(record.voteType);
        out += ',';
        appendText(out, record.adminNick);
        out += ',' + std::to_string(optionId) + ',';
        appendText(out, option);
        out += ',' + std::to_string(ticketsOf(record, optionId)) + "\r\n";
    }
}

} // namespace

std::string HistoryCsv::write(const std::vector<HistoryEntry>& entries)
{
    std::string out = kByteOrderMark;
    out += kHeader;
    out += "\r\n";
    for (const HistoryEntry& entry : entries)
        appendRows(out, entry.record);
    return out;
}

} // namespace quorix::service
