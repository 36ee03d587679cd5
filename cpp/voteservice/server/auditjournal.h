#pragma once

// The audit trail in the systemd journal (--audit-log journal): each entry is one journal record
// whose MESSAGE is its JSON line (AuditLine), with QUORIX_AUDIT=1 to select the trail and the
// action, result, uid and channel as fields of their own to filter on.

#include "voteservice/server/auditwriter.h"

#include <string>
#include <vector>

namespace quorix::service {

class AuditJournal : public AuditWriter
{
public:
    // The record's fields, each "NAME=value".
    static std::vector<std::string> fields(const AuditEntry& entry);

    void record(const AuditEntry& entry) override;
    // The journal needs no reopening.
    bool reopen(std::string&) override { return true; }
    std::string description() const override { return "the systemd journal (QUORIX_AUDIT=1)"; }

private:
    bool m_failing = false;
};

} // namespace quorix::service
