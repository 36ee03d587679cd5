#pragma once

// The history of a sub-channel as a CSV file for spreadsheets (GET .../history?format=csv):
// RFC 4180 (fields quoted when they hold a comma, quote, CR or LF; quotes doubled; CRLF after every
// record), UTF-8 with a byte-order mark so spreadsheet programs read the Chinese texts right.
//
//   time,vote_id,name,kind,started_by,option_id,option,tickets
//
// One row per option of each entry, in the entries' order and by option id; a judge vote's record
// has one option (its title) whose count is the total of the judges' points. vote_id is the
// history record's key. Texts that a spreadsheet would take for a formula (starting with = + - @,
// tab or CR) get a leading apostrophe, so opening an export never runs what a voter typed.

#include "voteservice/core/votestorage.h"

#include <string>
#include <vector>

namespace quorix::service {

class HistoryCsv
{
public:
    static std::string write(const std::vector<HistoryEntry>& entries);
};

} // namespace quorix::service
