#pragma once

#include "voteservice/core/auditentry.h"

namespace quorix::service {

// Where the core puts its audit entries: one per manager request, as it is answered. Called from
// inside the core's handle(); an implementation must not call back into the core.
class AuditSink
{
public:
    virtual ~AuditSink() = default;
    virtual void record(const AuditEntry& entry) = 0;
};

} // namespace quorix::service
