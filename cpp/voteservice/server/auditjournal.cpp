#include "voteservice/server/auditjournal.h"

#include "voteservice/server/auditline.h"
#include "voteservice/core/servicelog.h"

#include <systemd/sd-journal.h>

#include <sys/uio.h>

#include <cstring>

namespace quorix::service {

std::vector<std::string> AuditJournal::fields(const AuditEntry& entry)
{
    return {
        "MESSAGE=" + AuditLine::json(entry),
        "QUORIX_AUDIT=1",
        "QUORIX_ACTION=" + entry.action,
        "QUORIX_RESULT=" + std::to_string(entry.result),
        "QUORIX_UID=" + std::to_string(entry.uid),
        "QUORIX_CHANNEL=" + std::to_string(entry.channelId),
        "PRIORITY=6",
        "SYSLOG_IDENTIFIER=quorix-voted",
    };
}

void AuditJournal::record(const AuditEntry& entry)
{
    const std::vector<std::string> texts = fields(entry);
    std::vector<iovec> parts;
    for (const std::string& text : texts)
        parts.push_back(iovec{const_cast<char*>(text.data()), text.size()});
    const int result = sd_journal_sendv(parts.data(), int(parts.size()));
    const bool sent = result >= 0;
    if (sent == !m_failing)
        return;
    m_failing = !sent;
    if (m_failing)
        ServiceLog::line(ServiceLog::Priority::Error,
                         std::string("cannot send the audit trail to the journal: ") +
                             std::strerror(-result));
    else
        ServiceLog::line("the audit trail reaches the journal again");
}

} // namespace quorix::service
