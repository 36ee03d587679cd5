#pragma once

// The audit entry of the request the core is handling: begun with the session's identity when the
// request is a manager request, completed by its answer, handed to the sink when the request is
// done. Requests of other kinds, and answers to other requests, leave no entry.

#include "voteservice/core/auditentry.h"
#include "voteservice/core/auditsink.h"
#include "voteservice/core/sessionidentity.h"
#include "voteservice/core/votestorage.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace quorix::service {

class AuditRecorder
{
public:
    explicit AuditRecorder(AuditSink* sink) : m_sink(sink) {}

    // The action a manager request is audited as; null for any other request.
    static const char* actionOf(std::uint32_t requestMinType);

    void begin(const SessionIdentity& who, std::uint32_t requestMinType, std::int64_t unixSeconds);
    // The request in hand is audited as this action (a start request that schedules, say).
    void actAs(const char* action);
    // The start second a schedule request asked for.
    void aboutStartAt(std::int64_t atUnix);
    // An entry of the service's own: the scheduled start it made or missed, in the scheduler's name.
    void scheduled(const VoteSchedule& schedule, const char* action, std::uint32_t result,
                   std::uint32_t jiFangId, std::int64_t unixSeconds);
    // The votes a batchDelete asks for.
    void aboutVotes(std::vector<std::uint32_t> voteIds);
    // The answer of the request in hand; the first counts. Vote id and run 0 mean none.
    void answered(std::uint32_t requestMinType, std::uint32_t result, std::uint32_t voteId,
                  std::uint32_t jiFangId);
    // Hands the answered entry to the sink; an unanswered one is dropped.
    void finish();

private:
    AuditSink* m_sink;
    std::uint32_t m_requestMinType = 0;
    bool m_answered = false;
    std::optional<AuditEntry> m_entry;
};

} // namespace quorix::service
