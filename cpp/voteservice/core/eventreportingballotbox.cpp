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

void EventReportingBallotBox::keep(const SubChannelKey& place)
{
    if (const SharedOpenVote* vote = m_inner.find(place))
        m_forgotten.emplace(place, *vote);
}

void EventReportingBallotBox::forget(const SubChannelKey& place)
{
    keep(place);
    m_inner.forget(place);
}

std::uint32_t EventReportingBallotBox::close(const SubChannelKey& place, std::uint32_t voteId,
                                             std::uint32_t jiFangId)
{
    keep(place);
    return m_inner.close(place, voteId, jiFangId);
}

bool EventReportingBallotBox::progressDue(const SubChannelKey& place) const
{
    const auto it = m_lastProgressMs.find(place);
    return it == m_lastProgressMs.end() || m_clock.steadyMs() - it->second >= kProgressPeriodMs;
}

void EventReportingBallotBox::announce(const Notice& notice)
{
    m_inner.announce(notice);
    const std::optional<VoteEventKind> kind = eventKindOf(notice.kind);
    if (!kind)
        return;
    if (*kind == VoteEventKind::Progress && !progressDue(notice.place)) {
        m_progressOwed[notice.place] = notice;
        return;
    }
    report(*kind, notice);
}

std::vector<Notice> EventReportingBallotBox::takeNotices()
{
    for (auto it = m_progressOwed.begin(); it != m_progressOwed.end();) {
        if (!progressDue(it->first)) {
            ++it;
            continue;
        }
        const Notice owed = it->second;
        it = m_progressOwed.erase(it);
        report(VoteEventKind::Progress, owed);
    }
    return m_inner.takeNotices();
}

void EventReportingBallotBox::report(VoteEventKind kind, const Notice& notice)
{
    VoteEvent event{kind, notice.place, notice.voteId, notice.jiFangId, m_clock.unixSeconds(), std::nullopt};
    // A shared box holds the counts of its last read; a failed read leaves them.
    if (kind == VoteEventKind::Progress)
        m_inner.refresh(notice.place);
    const SharedOpenVote* vote = m_inner.find(notice.place);
    if (vote == nullptr && m_forgotten && m_forgotten->first == notice.place)
        vote = &m_forgotten->second;
    if (vote != nullptr && vote->jiFangId == notice.jiFangId)
        event.vote = *vote;
    m_forgotten.reset();
    if (kind == VoteEventKind::Progress && !event.vote)
        return;
    if (kind == VoteEventKind::Progress) {
        m_lastProgressMs[notice.place] = m_clock.steadyMs();
    } else if (kind == VoteEventKind::End || kind == VoteEventKind::Close) {
        m_lastProgressMs.erase(notice.place);
        m_progressOwed.erase(notice.place);
    }
    m_sink.voteEvent(std::move(event));
}

} // namespace quorix::service
