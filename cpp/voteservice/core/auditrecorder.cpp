#include "voteservice/core/auditrecorder.h"

#include <quorix/protocol/votemessages.h>

#include <utility>

namespace quorix::service {

const char* AuditRecorder::actionOf(std::uint32_t requestMinType)
{
    switch (requestMinType) {
    case VOTE_SYSTEM_CREATE_VOTE_REQ:
        return "create";
    case VOTE_SYSTEM_UPDATE_VOTE_REQ:
        return "update";
    case VOTE_SYSTEM_DELETE_VOTE_REQ:
        return "delete";
    case VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ:
        return "batchDelete";
    case VOTE_SYSTEM_START_VOTE_REQ:
        return "start";
    case VOTE_SYSTEM_END_VOTE_REQ:
        return "stop";
    case VOTE_SYSTEM_CLOSE_VOTEUI_REQ:
        return "close";
    default:
        return nullptr;
    }
}

void AuditRecorder::begin(const SessionIdentity& who, std::uint32_t requestMinType, std::int64_t unixSeconds)
{
    m_entry.reset();
    m_answered = false;
    const char* action = actionOf(requestMinType);
    if (m_sink == nullptr || action == nullptr)
        return;
    m_requestMinType = requestMinType;
    AuditEntry entry;
    entry.unixSeconds = unixSeconds;
    entry.action = action;
    entry.uid = who.uid;
    entry.imid = who.imid;
    entry.role = who.role;
    entry.channelId = who.channelId;
    entry.subChannelId = who.subChannelId;
    entry.transport = who.transport;
    entry.peer = who.peer;
    entry.tokenId = who.tokenId;
    m_entry = std::move(entry);
}

void AuditRecorder::actAs(const char* action)
{
    if (m_entry)
        m_entry->action = action;
}

void AuditRecorder::aboutStartAt(std::int64_t atUnix)
{
    if (m_entry)
        m_entry->startAtUnix = atUnix;
}

void AuditRecorder::scheduled(const VoteSchedule& schedule, const char* action, std::uint32_t result,
                              std::uint32_t jiFangId, std::int64_t unixSeconds)
{
    if (m_sink == nullptr)
        return;
    AuditEntry entry;
    entry.unixSeconds = unixSeconds;
    entry.action = action;
    entry.result = result;
    entry.uid = schedule.starterUid;
    entry.channelId = schedule.place.channelId;
    entry.subChannelId = schedule.place.subChannelId;
    entry.voteId = schedule.voteId;
    if (jiFangId != 0)
        entry.jiFangId = jiFangId;
    entry.startAtUnix = schedule.atUnix;
    entry.transport = "schedule";
    m_sink->record(entry);
}

void AuditRecorder::aboutVotes(std::vector<std::uint32_t> voteIds)
{
    if (m_entry)
        m_entry->voteIds = std::move(voteIds);
}

void AuditRecorder::answered(std::uint32_t requestMinType, std::uint32_t result, std::uint32_t voteId,
                             std::uint32_t jiFangId)
{
    if (!m_entry || m_answered || requestMinType != m_requestMinType)
        return;
    m_answered = true;
    m_entry->result = result;
    if (voteId != 0)
        m_entry->voteId = voteId;
    if (jiFangId != 0)
        m_entry->jiFangId = jiFangId;
}

void AuditRecorder::finish()
{
    if (m_entry && m_answered)
        m_sink->record(*m_entry);
    m_entry.reset();
    m_answered = false;
}

} // namespace quorix::service
