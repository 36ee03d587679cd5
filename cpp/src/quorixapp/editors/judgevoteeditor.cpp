#include "src/quorixapp/editors/judgevoteeditor.h"

#include "src/quorixapp/judgelistctrl.h"
#include "src/quorixapp/quorixpanelistctrl.h"

#include <panefind.h>

namespace {
const char* const kNumberBox = "voteTovoName";
// A judge vote counts one score of 1 to 5 per judge for its single option, the vote itself.
const quint32 kJudgeTickets = 5;
} // namespace

JudgeVoteEditor::JudgeVoteEditor(PaneWidget* page, Warn warn)
    : VoteEditor(page, quorix::kJudgeVote, "LimitTime", std::move(warn))
{
    auto* list =
        page ? panefw::findChild<QuorixPaneListCtrl>(page, QStringLiteral("judgeListCtrl")) : nullptr;
    if (!list)
        return;
    list->setSelectable(true);
    m_judges = std::make_unique<JudgeListCtrl>(list);
}

JudgeVoteEditor::~JudgeVoteEditor() = default;

bool JudgeVoteEditor::isFull() const
{
    return m_judges && int(m_judges->uids().size()) >= kMaxJudges;
}

std::optional<quint32> JudgeVoteEditor::numberToLookUp() const
{
    const QString number = text(kNumberBox);
    if (number.isEmpty())
        return std::nullopt;
    if (isFull()) {
        warn(QStringLiteral("抱歉,最多只能添加5位。"));
        return std::nullopt;
    }
    return toU32(number);
}

void JudgeVoteEditor::addJudge(const QString& nick, quint32 imid, quint32 uid)
{
    if (!m_judges)
        return;
    if (uid == 0) {
        warn(QStringLiteral("抱歉，该用户不存在。"));
        return;
    }
    if (isFull()) {
        warn(QStringLiteral("抱歉,最多只能添加5位。"));
        return;
    }
    setText(kNumberBox, QString());
    m_judges->addJudge(QString::number(imid), nick, uid);
}

QStringList JudgeVoteEditor::requiredTexts() const
{
    return {text("voteName"), text("LimitTime")};
}

void JudgeVoteEditor::fillRecord(quorix::VoteInfo& vote) const
{
    vote.limits = {{quorix::kTicketsPerUser, kJudgeTickets}, {quorix::kTicketsPerOption, kJudgeTickets}};
    vote.options = {{0, vote.name}};
    if (!m_judges)
        return;
    const auto& numbers = m_judges->numbers();
    const auto& nicks = m_judges->nicks();
    const auto& uids = m_judges->uids();
    for (std::size_t i = 0; i < uids.size(); ++i) {
        quorix::JudgeInfo judge;
        judge.uid = uids[i];
        judge.imid = toU32(numbers[i]);
        judge.nick = nicks[i].toStdString();
        vote.judgeOrder[quint32(i)] = judge.uid;
        vote.judges[judge.uid] = judge;
    }
}

void JudgeVoteEditor::openRecord(const quorix::VoteInfo& vote)
{
    if (!m_judges)
        return;
    m_judges->clear();
    for (const auto& [position, uid] : vote.judgeOrder) {
        Q_UNUSED(position);
        const auto judge = vote.judges.find(uid);
        if (judge != vote.judges.end())
            addJudge(QString::fromStdString(judge->second.nick), judge->second.imid, judge->second.uid);
    }
}
