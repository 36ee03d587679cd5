#include "voteservice/server/auditline.h"

#include <nlohmann/json.hpp>

#include <ctime>

namespace quorix::service {

std::string AuditLine::utcTime(std::int64_t unixSeconds)
{
    const std::time_t time = static_cast<std::time_t>(unixSeconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string AuditLine::json(const AuditEntry& entry)
{
    nlohmann::ordered_json line;
    line["time"] = utcTime(entry.unixSeconds);
    line["action"] = entry.action;
    line["result"] = entry.result;
    line["uid"] = entry.uid;
    line["imid"] = entry.imid;
    line["role"] = entry.role;
    line["channel"] = entry.channelId;
    line["subChannel"] = entry.subChannelId;
    if (entry.voteId)
        line["voteId"] = *entry.voteId;
    if (entry.jiFangId)
        line["jiFangId"] = *entry.jiFangId;
    if (entry.startAtUnix)
        line["startAt"] = utcTime(*entry.startAtUnix);
    if (!entry.voteIds.empty())
        line["voteIds"] = entry.voteIds;
    line["transport"] = entry.transport;
    if (!entry.peer.empty())
        line["peer"] = entry.peer;
    if (!entry.tokenId.empty())
        line["jti"] = entry.tokenId;
    // A jti is the client's bytes: invalid UTF-8 is replaced rather than refused.
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace quorix::service
