#include "src/quorixapp/editors/normalvoteeditor.h"

#include "src/quorixapp/managementstyle.h"

NormalVoteEditor::NormalVoteEditor(PaneWidget* page, Warn warn, QObject* receiver, const char* deleteSlot)
    : VoteEditor(page, quorix::kNormalVote, "LimitTime", std::move(warn)),
      m_options(page,
                {"normalVoteCreateList", "addNormalOptionBtn", managementstyle::kNormalNumberWidth, ".{1,20}",
                 receiver, deleteSlot},
                &m_rowNames)
{}

QStringList NormalVoteEditor::requiredTexts() const
{
    return ticketTexts() + m_options.texts();
}

void NormalVoteEditor::fillRecord(quorix::VoteInfo& vote) const
{
    fillTicketLimits(vote);
    const QStringList options = m_options.texts();
    for (int i = 0; i < options.size(); ++i)
        vote.options[quint32(i)] = options[i].toStdString();
}

// Row i shows option i; a stored vote without options still shows the first, empty row.
void NormalVoteEditor::openRecord(const quorix::VoteInfo& vote)
{
    setTicketTexts(vote);
    QStringList texts;
    for (int i = 0; i < qMax(int(vote.options.size()), 1); ++i) {
        const auto it = vote.options.find(quint32(i));
        texts << (it == vote.options.end() ? QString() : QString::fromStdString(it->second));
    }
    m_options.setTexts(texts);
}
