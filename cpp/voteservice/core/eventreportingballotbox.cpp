#include "voteservice/core/eventreportingballotbox.h"

namespace quorix::service {

namespace {

std::optional<VoteEventKind> eventKindOf(NoticeKind kind)
{
    switch (kind) {
    case NoticeKind::Started:
        return VoteEventKind::Begin;
    case NoticeKind::Counted:
        return VoteEventKind::Progress;
    case NoticeKind::Ended:
        return VoteEventKind::End;
    case NoticeKind::Closed:
        return VoteEventKind::Close;
    case NoticeKind::ListChanged:
    case NoticeKind::Resync:
        break;
    }
    return std::nullopt;
}

} // namespace

void EventReportingBallotBox::forget(const SubChannelKey& place)
{
    if (const SharedOpenVote* vote = m_inner.find(place))
        m_forgotten.emplace(place, *vote);
    m_inner.forget(place);
}

bool EventReportingBallotBox::progressDue(const SubChannelKey& place)
{
    const std::int64_t now = m_clock.steadyMs();
    const auto it = m_lastProgressMs.find(place);
    if (it != m_lastProgressMs.end() && now - it->second < kProgressPeriodMs)
        return false;
    m_lastProgressMs[place] = now;
    return true;
}

void EventReportingBallotBox::announce(const Notice& notice)
{
    m_inner.announce(notice);
    const std::optional<VoteEventKind> kind = eventKindOf(notice.kind);
    if (!kind || (*kind == VoteEventKind::Progress && !progressDue(notice.place)))
        return;
    VoteEvent event{*kind, notice.place, notice.voteId, notice.jiFangId, m_clock.unixSeconds(), std::nullopt};
    const SharedOpenVote* vote = m_inner.find(notice.place);
    if (vote == nullptr && m_forgotten && m_forgotten->first == notice.place)
        vote = &m_forgotten->second;
    if (vote != nullptr && vote->jiFangId == notice.jiFangId)
        event.vote = *vote;
    if (*kind == VoteEventKind::End || *kind == VoteEventKind::Close)
        m_lastProgressMs.erase(notice.place);
    m_forgotten.reset();
    m_sink.voteEvent(std::move(event));
}

} // namespace quorix::service
