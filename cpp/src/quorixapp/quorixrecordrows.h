#pragma once

// The rows of a vote history list, shared by the management window's history page and the
// history window: one row per record, newest (highest key) first, showing time, name, starting
// manager and total tickets; pressing a normal vote's row unfolds its options with their
// tickets, pressing it again folds it.

#include <quorix/protocol/votemessages.h>

#include <QString>

class QuorixPaneListCtrl;

class QuorixRecordRows
{
public:
    static constexpr int kRecordKeyKey = 888;
    static constexpr int kExpandedKey = 777;
    static constexpr int kRowHeight = 30;

    // Rebuilds every row (all folded). Does nothing without a list.
    static void fill(QuorixPaneListCtrl* list, const quorix::PQueryVoteHisRecordRes& history);
    // Folds or unfolds a row. Without a history the row is only marked as unfolded.
    static void toggle(QuorixPaneListCtrl* list, int row, const quorix::PQueryVoteHisRecordRes* history);

    // "MM-DD HH:MM" for a full "YYYY-MM-DD HH:MM:SS" time, any other text unchanged.
    static QString shortTime(const QString& timeText);
    static quint64 totalTickets(const quorix::VoteHistoryRecord& record);
};
