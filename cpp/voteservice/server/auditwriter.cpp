#include "voteservice/server/auditwriter.h"

#include "voteservice/server/auditjournal.h"
#include "voteservice/server/auditlogfile.h"

namespace quorix::service {

std::unique_ptr<AuditWriter> AuditWriter::open(const std::string& target, std::string& error)
{
    if (target == "journal")
        return std::make_unique<AuditJournal>();
    return AuditLogFile::open(target, error);
}

} // namespace quorix::service
