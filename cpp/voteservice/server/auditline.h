#pragma once

// An audit entry as one line of JSON, its members in a fixed order:
//   {"time":"2026-12-09T02:19:49Z","action":"start","result":0,"uid":1,"imid":90001,"role":255,
//    "channel":10,"subChannel":20,"voteId":3,"jiFangId":7,"transport":"tcp",
//    "peer":"127.0.0.1:40522","jti":"..."}
// voteId, jiFangId, voteIds (batchDelete), peer and jti only when the entry has them.

#include "voteservice/core/auditentry.h"

#include <cstdint>
#include <string>

namespace quorix::service {

class AuditLine
{
public:
    // The JSON text, without a line break.
    static std::string json(const AuditEntry& entry);
    // RFC 3339 in UTC to the second: 2026-12-09T02:19:49Z.
    static std::string utcTime(std::int64_t unixSeconds);
};

} // namespace quorix::service
