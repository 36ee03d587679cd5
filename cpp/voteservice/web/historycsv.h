#pragma once

// PLACEHOLDER until the history CSV writer lands: same declaration, plain rows only (one row per
// option, RFC 4180 quoting, BOM and CRLF). The full writer replaces both files.

#include "votestorage.h"

#include <string>
#include <vector>

namespace quorix::service {

class HistoryCsv
{
public:
    static std::string write(const std::vector<HistoryEntry>& entries);
};

} // namespace quorix::service
