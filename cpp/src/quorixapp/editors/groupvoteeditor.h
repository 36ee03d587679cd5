#pragma once

// The group vote's editor: name, time limit, both ticket limits, the two team names and one
// option list per team. Both lists draw their row names from one counter.

#include "src/quorixapp/editors/optionlisteditor.h"
#include "src/quorixapp/editors/voteeditor.h"

class GroupVoteEditor : public VoteEditor
{
public:
    // Added rows of team A and B connect their delete buttons to these slots of `receiver`.
    GroupVoteEditor(PaneWidget* page, Warn warn, QObject* receiver, const char* deleteSlotA,
                    const char* deleteSlotB);

    OptionListEditor& teamA() { return m_teamA; }
    OptionListEditor& teamB() { return m_teamB; }

protected:
    QStringList requiredTexts() const override;
    bool hasTickets() const override { return true; }
    void fillRecord(quorix::VoteInfo& vote) const override;
    void openRecord(const quorix::VoteInfo& vote) override;

private:
    int m_rowNames = 2;
    OptionListEditor m_teamA;
    OptionListEditor m_teamB;
};
