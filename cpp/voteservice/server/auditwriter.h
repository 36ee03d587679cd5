#pragma once

// Where quorix-voted writes its audit trail (--audit-log): a file or the systemd journal. The
// server hands it each entry once the commit that carries the entry's change has completed.

#include "voteservice/core/auditsink.h"

#include <memory>
#include <string>

namespace quorix::service {

class AuditWriter : public AuditSink
{
public:
    // "journal": the systemd journal; anything else names a file. Null with a message when the file
    // cannot be opened.
    static std::unique_ptr<AuditWriter> open(const std::string& target, std::string& error);

    // Opens the file again under its name (after log rotation moved it away). False with a
    // message when it cannot be opened; the writer then keeps writing where it wrote before.
    virtual bool reopen(std::string& error) = 0;
    // What the log line at startup names: the file, or the journal.
    virtual std::string description() const = 0;
};

} // namespace quorix::service
