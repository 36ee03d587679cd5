#pragma once

// The judge vote's editor: name, time limit and up to five judges, found one at a time by their
// number through the service and listed in the page's judge list.

#include "src/quorixapp/editors/voteeditor.h"

#include <memory>
#include <optional>

class JudgeListCtrl;

class JudgeVoteEditor : public VoteEditor
{
public:
    static constexpr int kMaxJudges = 5;

    JudgeVoteEditor(PaneWidget* page, Warn warn);
    ~JudgeVoteEditor() override;

    // Null when the page has no judge list.
    JudgeListCtrl* judges() const { return m_judges.get(); }
    bool isFull() const;
    // The number typed to look up: none when nothing is typed, or when the list is full (the
    // manager is warned).
    std::optional<quint32> numberToLookUp() const;
    // Lists a judge the service found; an unknown user (uid 0) or a full list is refused with a
    // warning. Two look-ups sent while four judges were listed must not make six.
    void addJudge(const QString& nick, quint32 imid, quint32 uid);

protected:
    QStringList requiredTexts() const override;
    bool hasTickets() const override { return false; }
    void fillRecord(quorix::VoteInfo& vote) const override;
    void openRecord(const quorix::VoteInfo& vote) override;

private:
    std::unique_ptr<JudgeListCtrl> m_judges;
};
