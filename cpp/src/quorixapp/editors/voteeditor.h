#pragma once

// The editor page of one vote kind: checks what the manager typed, builds the vote record from
// it and fills the page from a stored vote. The page belongs to the management window; an editor
// whose page is gone refuses every check and builds from empty texts. Warnings go through the
// function given at construction (the window's message box).

#include <quorix/protocol/voterecords.h>

#include <panewidget.h>

#include <QPointer>
#include <QStringList>

#include <functional>

class VoteEditor
{
public:
    using Warn = std::function<void(const QString&)>;

    VoteEditor(PaneWidget* page, quint32 kind, const char* timeBoxName, Warn warn);
    virtual ~VoteEditor();

    // True when every required text, after the channel's word filter, is non-empty and, where
    // the kind has tickets, tickets per person are not fewer than tickets per option; otherwise
    // the manager is warned.
    bool validate() const;
    // The record of the page: kind, name, time limit and what the kind adds; the id is the one
    // of the stored vote opened last, 0 for a new vote. An opened vote keeps when it shows its
    // results (limits key kResultsShown, set in the console or over the API).
    quorix::VoteInfo record() const;
    void open(const quorix::VoteInfo& vote);

    quint32 editId() const { return m_editId; }
    const char* timeBoxName() const { return m_timeBoxName; }
    void startNewVote() { m_editId = 0; }

protected:
    // The texts that must not be empty, in the order the manager sees them; with tickets, texts
    // 2 and 3 are the tickets per person and per option.
    virtual QStringList requiredTexts() const = 0;
    virtual bool hasTickets() const = 0;
    virtual void fillRecord(quorix::VoteInfo& vote) const = 0;
    virtual void openRecord(const quorix::VoteInfo& vote) = 0;

    PaneWidget* page() const { return m_page; }
    QString text(const char* name) const;
    void setText(const char* name, const QString& text);
    // The name, time limit and both ticket limits.
    QStringList ticketTexts() const;
    void setTicketTexts(const quorix::VoteInfo& vote);
    void fillTicketLimits(quorix::VoteInfo& vote) const;
    void warn(const QString& text) const { m_warn(text); }
    static quint32 toU32(const QString& text);

private:
    const char* const m_timeBoxName;
    QPointer<PaneWidget> m_page;
    const quint32 m_kind;
    Warn m_warn;
    quint32 m_editId = 0;
    quint32 m_openedResultsShown = quorix::kResultsLive;
};
