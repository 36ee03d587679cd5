#pragma once

// The normal vote's editor: name, time limit, both ticket limits and one list of options.

#include "src/quorixapp/editors/optionlisteditor.h"
#include "src/quorixapp/editors/voteeditor.h"

class NormalVoteEditor : public VoteEditor
{
public:
    // Added option rows connect their delete buttons to `deleteSlot` of `receiver`.
    NormalVoteEditor(PaneWidget* page, Warn warn, QObject* receiver, const char* deleteSlot);

    OptionListEditor& options() { return m_options; }

protected:
    QStringList requiredTexts() const override;
    bool hasTickets() const override { return true; }
    void fillRecord(quorix::VoteInfo& vote) const override;
    void openRecord(const quorix::VoteInfo& vote) override;

private:
    int m_rowNames = 2;
    OptionListEditor m_options;
};
