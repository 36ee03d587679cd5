#pragma once

// The audit trail as a file of JSON lines (AuditLine): created 0600, always appended, each line
// written by one write(2) as it comes (nothing is kept back in the process). reopen() opens the
// name again for log rotation. A failed write is logged once until a write succeeds again.

#include "voteservice/server/auditwriter.h"

#include <memory>
#include <string>

namespace quorix::service {

class AuditLogFile : public AuditWriter
{
public:
    // Null with a message when the file cannot be opened or created.
    static std::unique_ptr<AuditLogFile> open(const std::string& path, std::string& error);
    ~AuditLogFile() override;
    AuditLogFile(const AuditLogFile&) = delete;
    AuditLogFile& operator=(const AuditLogFile&) = delete;

    void record(const AuditEntry& entry) override;
    bool reopen(std::string& error) override;
    std::string description() const override { return m_path; }

private:
    AuditLogFile(std::string path, int descriptor) : m_path(std::move(path)), m_descriptor(descriptor) {}
    static int openDescriptor(const std::string& path, std::string& error);
    bool writeAll(const std::string& text);

    std::string m_path;
    int m_descriptor;
    bool m_failing = false;
};

} // namespace quorix::service
