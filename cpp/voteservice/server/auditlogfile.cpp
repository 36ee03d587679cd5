#include "voteservice/server/auditlogfile.h"

#include "voteservice/server/auditline.h"
#include "voteservice/core/servicelog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorix::service {

int AuditLogFile::openDescriptor(const std::string& path, std::string& error)
{
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0)
        error = "cannot open the audit log " + path + ": " + std::strerror(errno);
    return descriptor;
}

std::unique_ptr<AuditLogFile> AuditLogFile::open(const std::string& path, std::string& error)
{
    const int descriptor = openDescriptor(path, error);
    if (descriptor < 0)
        return nullptr;
    return std::unique_ptr<AuditLogFile>(new AuditLogFile(path, descriptor));
}

AuditLogFile::~AuditLogFile()
{
    ::close(m_descriptor);
}

bool AuditLogFile::reopen(std::string& error)
{
    const int descriptor = openDescriptor(m_path, error);
    if (descriptor < 0)
        return false;
    ::close(m_descriptor);
    m_descriptor = descriptor;
    return true;
}

void AuditLogFile::record(const AuditEntry& entry)
{
    const std::string line = AuditLine::json(entry) + "\n";
    const bool written = writeAll(line);
    if (written == !m_failing)
        return;
    m_failing = !written;
    if (m_failing)
        ServiceLog::line(ServiceLog::Priority::Error,
                         "cannot write the audit log " + m_path + ": " + std::strerror(errno));
    else
        ServiceLog::line("the audit log " + m_path + " is written again");
}

bool AuditLogFile::writeAll(const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(m_descriptor, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

} // namespace quorix::service
