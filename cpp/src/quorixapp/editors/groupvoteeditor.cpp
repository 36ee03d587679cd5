#include "src/quorixapp/editors/groupvoteeditor.h"

#include "src/quorixapp/managementstyle.h"

namespace {
const char* const kTeamNameBoxes[] = {"ANameLineEdit", "BNameLineEdit"};
} // namespace

GroupVoteEditor::GroupVoteEditor(PaneWidget* page, Warn warn, QObject* receiver, const char* deleteSlotA,
                                 const char* deleteSlotB)
    : VoteEditor(page, quorix::kGroupVote, "limitTime", std::move(warn)),
      m_teamA(page,
              {"GroupVoteCreateListA", "addAGroupOptionBtn", managementstyle::kTeamNumberWidth, ".{1,8}",
               receiver, deleteSlotA},
              &m_rowNames),
      m_teamB(page,
              {"groupVoteCreateListB", "addBGroupOptionBtn", managementstyle::kTeamNumberWidth, ".{1,8}",
               receiver, deleteSlotB},
              &m_rowNames)
{}

QStringList GroupVoteEditor::requiredTexts() const
{
    return ticketTexts() + QStringList{text(kTeamNameBoxes[0]), text(kTeamNameBoxes[1])} + m_teamA.texts() +
           m_teamB.texts();
}

// Options are numbered team A first, then team B.
void GroupVoteEditor::fillRecord(quorix::VoteInfo& vote) const
{
    fillTicketLimits(vote);
    vote.groupNames = {{0, text(kTeamNameBoxes[0]).toStdString()},
                       {1, text(kTeamNameBoxes[1]).toStdString()}};
    quint32 id = 0;
    const OptionListEditor* teams[] = {&m_teamA, &m_teamB};
    for (quint32 team = 0; team < 2; ++team) {
        for (const QString& option : teams[team]->texts()) {
            vote.options[id] = option.toStdString();
            vote.optionGroup[id] = team;
            ++id;
        }
    }
}

void GroupVoteEditor::openRecord(const quorix::VoteInfo& vote)
{
    setTicketTexts(vote);
    for (quint32 team = 0; team < 2; ++team) {
        const auto name = vote.groupNames.find(team);
        setText(kTeamNameBoxes[team],
                name == vote.groupNames.end() ? QString() : QString::fromStdString(name->second));
    }
    QStringList texts[2];
    for (const auto& [optionId, text] : vote.options) {
        const auto team = vote.optionGroup.find(optionId);
        if (team != vote.optionGroup.end() && team->second < 2)
            texts[team->second] << QString::fromStdString(text);
    }
    m_teamA.setTexts(texts[0]);
    m_teamB.setTexts(texts[1]);
}
