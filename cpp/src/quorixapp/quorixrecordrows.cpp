#include "src/quorixapp/quorixrecordrows.h"

#include "src/quorixapp/panelistctrrowwidget.h"
#include "src/quorixlog/quorixlog.h"
#include "src/quorixapp/quorixpanelistctrl.h"

#include <panelabelwidget.h>
#include <panespaceritem.h>

namespace {

const char* const kDetailName = "RECORD_LIST_ROW_DETAIL_LAYOUTER";
const QColor kGrey(153, 153, 153);
const QColor kText(51, 51, 51);
const QColor kTickets(255, 104, 0);
const qreal kDetailInnerWidth = 518;

PaneLabelWidget* makeLabel(const QString& text, const QColor& color, QGraphicsItem* parent)
{
    auto* label = new PaneLabelWidget(parent);
    label->setText(text);
    label->setTextColor(color);
    return label;
}

void placeLabel(QuorixPaneListCtrl* list, int row, const char* name, const QString& text, const QColor& color,
                const QRectF& rect)
{
    PaneLabelWidget* label = makeLabel(text, color, list->rowWidget(row));
    label->setObjectName(QString::fromLatin1(name));
    label->setFixWidth(rect.width());
    list->placeInRow(row, label, rect);
}

PaneWidget* detailLine(const QString& text, quint32 tickets, QGraphicsItem* parent)
{
    auto* line = new PaneWidget(parent);
    line->setLayout(PaneWidget::HBox);
    line->setFixHeight(QuorixRecordRows::kRowHeight);
    line->addItem(new PaneSpacerItem(108, QuorixRecordRows::kRowHeight, line));
    PaneLabelWidget* option = makeLabel(text, kText, line);
    option->setFixWidth(302);
    line->addItem(option);
    PaneLabelWidget* count = makeLabel(QString::number(tickets), kTickets, line);
    count->setFixWidth(90);
    line->addItem(count);
    return line;
}

void fold(QuorixPaneListCtrl* list, int row)
{
    PaneListCtrRowWidget* widget = list->rowWidget(row);
    widget->setData(QuorixRecordRows::kExpandedKey, false);
    // The detail is a child of the row but not in any layout of it: it goes away entirely.
    delete list->findInRow(row, QString::fromLatin1(kDetailName));
    list->setRowHeight(row, QuorixRecordRows::kRowHeight);
}

void unfoldNormal(QuorixPaneListCtrl* list, int row, const quorix::VoteHistoryRecord& record)
{
    PaneListCtrRowWidget* widget = list->rowWidget(row);
    const qreal width = widget->size().width();
    auto* detail = new PaneWidget(widget);
    detail->setObjectName(QString::fromLatin1(kDetailName));
    detail->setLayout(PaneWidget::VBox);
    detail->setFixSize(width, QuorixRecordRows::kRowHeight);
    detail->addItem(new PaneSpacerItem(width, QuorixRecordRows::kRowHeight, detail));
    auto* inner = new PaneWidget(detail);
    inner->setLayout(PaneWidget::VBox);
    inner->setFixWidth(kDetailInnerWidth);
    detail->addItem(inner);

    int lines = 0;
    for (const auto& [optionId, text] : record.options) {
        const auto tickets = record.optionTickets.find(optionId);
        inner->addItem(detailLine(QString::fromStdString(text),
                                  tickets == record.optionTickets.end() ? 0 : tickets->second, inner));
        ++lines;
    }
    const qreal height = qreal(lines) * QuorixRecordRows::kRowHeight;
    inner->setFixHeight(height);
    detail->setFixHeight(height + QuorixRecordRows::kRowHeight);
    detail->setGeometry(QRectF(0, 0, width, height + QuorixRecordRows::kRowHeight));
    list->setRowHeight(row, quint32(height) + QuorixRecordRows::kRowHeight);
    list->ensureVisible(widget->geometry());
}

} // namespace

QString QuorixRecordRows::shortTime(const QString& timeText)
{
    return timeText.size() == 19 ? timeText.mid(5, 11) : timeText;
}

quint64 QuorixRecordRows::totalTickets(const quorix::VoteHistoryRecord& record)
{
    quint64 total = 0;
    for (const auto& entry : record.optionTickets)
        total += entry.second;
    return total;
}

void QuorixRecordRows::fill(QuorixPaneListCtrl* list, const quorix::PQueryVoteHisRecordRes& history)
{
    if (!list)
        return;
    list->setSelectable(false);
    list->clearRows();
    int n = 0;
    for (auto it = history.records.rbegin(); it != history.records.rend(); ++it, ++n) {
        const quorix::VoteHistoryRecord& record = it->second;
        PaneListCtrRowWidget* row = list->insertRow(n, kRowHeight);
        if (!row)
            continue;
        // The press looks the record up by the history's own key.
        row->setData(kRecordKeyKey, it->first);
        placeLabel(list, n, "TIME_LABEL", shortTime(QString::fromStdString(record.timeText)), kGrey,
                   QRectF(20, 4, 80, 18));
        placeLabel(list, n, "NAME_LABEL", QString::fromStdString(record.name), kText,
                   QRectF(108, 4, 150, 18));
        placeLabel(list, n, "ADMIN_LABEL", QString::fromStdString(record.adminNick), kText,
                   QRectF(255, 4, 135, 18));
        placeLabel(list, n, "TICKETS_LABEL", QString::number(totalTickets(record)), kTickets,
                   QRectF(410, 4, 80, 18));
    }
}

void QuorixRecordRows::toggle(QuorixPaneListCtrl* list, int row,
                              const quorix::PQueryVoteHisRecordRes* history)
{
    PaneListCtrRowWidget* widget = list ? list->rowWidget(row) : nullptr;
    if (!widget)
        return;
    if (widget->data(kExpandedKey).toBool()) {
        fold(list, row);
        return;
    }
    widget->setData(kExpandedKey, true);
    const quint32 key = widget->data(kRecordKeyKey).toUInt();
    if (!history)
        return;
    const auto found = history->records.find(key);
    if (found == history->records.end())
        return;
    const quorix::VoteHistoryRecord& record = found->second;
    if (record.voteType == quorix::kNormalVote) {
        QLOG(2) << " this is a  common vote.";
        unfoldNormal(list, row, record);
    } else if (record.voteType == quorix::kGroupVote) {
        QLOG(2) << " this is a  group vote.";
    } else {
        QLOG(2) << " this is a judge vote.";
    }
}
