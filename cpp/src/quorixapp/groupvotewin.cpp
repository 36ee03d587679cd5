#include "src/quorixapp/groupvotewin.h"

#include "panefind.h"
#include "paneframewindow.h"
#include "panelabelwidget.h"
#include "paneprogressbar.h"
#include "panepushbutton.h"
#include "panewidget.h"

#include <QFont>

namespace {

const char kLayoutPath[] = ":/layout/theme/quorix/layout/groupVoteWnd.xml";
const int kRowsPerColumn = 10;
const int kRowHeight = 28;
const int kBarHeight = 24;
const int kWindowWidth = 518;
const int kWindowBaseHeight = 260;
const char* const kColumns[] = {"optionListA", "optionListB"};

void styleLabel(PaneLabelWidget* label, const QColor& color, const QFont& labelFont)
{
    if (label == nullptr)
        return;
    label->setTextColor(color);
    label->setFont(labelFont);
}

} // namespace

GroupVoteWin::GroupVoteWin() : TicketedVoteWindow(kLayoutPath, QStringLiteral("对战投票"), quorix::kGroupVote)
{}

GroupVoteWin::~GroupVoteWin()
{
    if (!m_window)
        return;
    if (PanePushButton* record = find<PanePushButton>(QStringLiteral("TicketRecord")))
        disconnect(record, nullptr, this, nullptr);
    if (PanePushButton* close = find<PanePushButton>(QStringLiteral("btnClose")))
        disconnect(close, nullptr, this, nullptr);
    for (int column = 0; column < 2; ++column) {
        for (int row = 0; row < kRowsPerColumn; ++row) {
            if (PanePushButton* button = findInRow<PanePushButton>(column, row, QStringLiteral("Button")))
                disconnect(button, nullptr, this, nullptr);
        }
    }
}

PaneWidget* GroupVoteWin::optionRow(int column, int row) const
{
    if (column < 0 || column > 1)
        return nullptr;
    PaneWidget* list = find<PaneWidget>(QString::fromUtf8(kColumns[column]));
    return list ? panefw::findChild<PaneWidget>(list, QStringLiteral("option") + QString::number(row))
                : nullptr;
}

template <class T> T* GroupVoteWin::findInRow(int column, int row, const QString& name) const
{
    PaneWidget* rowWidget = optionRow(column, row);
    return rowWidget ? panefw::findChild<T>(rowWidget, name) : nullptr;
}

void GroupVoteWin::setUpWindow()
{
    setUpLabels();
    connectButtons();
}

void GroupVoteWin::setUpLabels()
{
    if (PaneLabelWidget* title = find<PaneLabelWidget>(QStringLiteral("title")))
        title->setFont(font("宋体", 12, QFont::Bold));
    if (PaneLabelWidget* timer = find<PaneLabelWidget>(QStringLiteral("Timer")))
        timer->setFont(font("Arial", 11, QFont::Bold));
    styleLabel(find<PaneLabelWidget>(QStringLiteral("Ticket")), QColor(255, 102, 0),
               font("Arial", 11, QFont::Bold));
    styleLabel(find<PaneLabelWidget>(QStringLiteral("AGroupScore")), QColor(255, 138, 0), font("Arial", 18));
    styleLabel(find<PaneLabelWidget>(QStringLiteral("BGroupScore")), QColor(31, 169, 233), font("Arial", 18));
    styleLabel(find<PaneLabelWidget>(QStringLiteral("AGroupName")), QColor(255, 102, 0),
               font("宋体", 12, QFont::Bold));
    styleLabel(find<PaneLabelWidget>(QStringLiteral("BGroupName")), QColor(31, 169, 233),
               font("宋体", 12, QFont::Bold));

    // The bar keeps its labels 7 pixels below its top edge, so labels filling the rest of the
    // bar would centre their text 3 pixels below the drawn bar. Each label instead gets a band at
    // the top of that room, as far below the margin as the bar's middle is, and its text may
    // spill over it.
    const int barTextTop = 7;
    const int bandHeight = 2 * (kBarHeight / 2 - barTextTop);
    for (int column = 0; column < 2; ++column) {
        for (int row = 0; row < kRowsPerColumn; ++row) {
            PaneProgressBar* bar = findInRow<PaneProgressBar>(column, row, QStringLiteral("ProgressBar"));
            if (bar == nullptr)
                continue;
            const struct
            {
                const char* name;
                Qt::Alignment side;
            } labels[] = {{"LableLeft", Qt::AlignLeft}, {"LableRight", Qt::AlignRight}};
            for (const auto& entry : labels) {
                PaneLabelWidget* label =
                    findInRow<PaneLabelWidget>(column, row, QString::fromUtf8(entry.name));
                if (label == nullptr)
                    continue;
                label->setFixHeight(bandHeight);
                label->setAlignment(entry.side | Qt::AlignVCenter |
                                    static_cast<Qt::AlignmentFlag>(Qt::TextDontClip));
                bar->setItemAlignment(label, entry.side | Qt::AlignTop);
            }
        }
    }
}

void GroupVoteWin::connectButtons()
{
    if (PanePushButton* record = find<PanePushButton>(QStringLiteral("TicketRecord"))) {
        record->setButtonStyle(4);
        record->setImagePath(QString());
        connect(record, &PanePushButton::clicked, this, &GroupVoteWin::onTicketRecordClick,
                Qt::UniqueConnection);
    }
    if (PanePushButton* close = find<PanePushButton>(QStringLiteral("btnClose")))
        connect(close, &PanePushButton::clicked, this, &GroupVoteWin::minWnd, Qt::UniqueConnection);
    for (int column = 0; column < 2; ++column) {
        for (int row = 0; row < kRowsPerColumn; ++row) {
            if (PanePushButton* button = findInRow<PanePushButton>(column, row, QStringLiteral("Button")))
                connect(button, &PanePushButton::clicked, this, &GroupVoteWin::VoteBtnClicked,
                        Qt::UniqueConnection);
        }
    }
}

void GroupVoteWin::showVote(quorix::VoteInfo voteRecord)
{
    if (!m_window)
        return;
    beginVoteOf(voteRecord);
    const auto text = [&voteRecord](std::uint32_t key) {
        const auto it = voteRecord.groupNames.find(key);
        return it == voteRecord.groupNames.end() ? QString() : QString::fromStdString(it->second);
    };
    if (PaneLabelWidget* title = find<PaneLabelWidget>(QStringLiteral("title")))
        title->setText(QString::fromStdString(voteRecord.name));
    if (PaneLabelWidget* nameA = find<PaneLabelWidget>(QStringLiteral("AGroupName")))
        nameA->setText(text(0));
    if (PaneLabelWidget* nameB = find<PaneLabelWidget>(QStringLiteral("BGroupName")))
        nameB->setText(text(1));
    groupOptions(voteRecord);
    refreshOptions();
    shownCountsKept();
    fitWindow();
}

void GroupVoteWin::groupOptions(const quorix::VoteInfo& vote)
{
    const RankedEntries all(vote);
    groupA = all.team(vote, 0);
    groupB = all.team(vote, 1);
    if (PaneLabelWidget* scoreA = find<PaneLabelWidget>(QStringLiteral("AGroupScore")))
        scoreA->setText(QString::number(groupA.totalTickets()));
    if (PaneLabelWidget* scoreB = find<PaneLabelWidget>(QStringLiteral("BGroupScore")))
        scoreB->setText(QString::number(groupB.totalTickets()));
}

void GroupVoteWin::refreshOptions()
{
    if (!m_window)
        return;
    refreshColumn(0, groupA);
    refreshColumn(1, groupB);
}

void GroupVoteWin::refreshColumn(int column, const RankedEntries& entries)
{
    for (int position = 0; position < entries.size(); ++position) {
        if (optionRow(column, position) == nullptr)
            continue;
        const OptionEntry& entry = entries.entries().at(position);
        if (PaneLabelWidget* name = findInRow<PaneLabelWidget>(column, position, QStringLiteral("LableLeft")))
            name->setText(entry.optionName);
        PaneLabelWidget* count = findInRow<PaneLabelWidget>(column, position, QStringLiteral("LableRight"));
        if (count != nullptr && replacesShownCount(count->text(), entry.ticketCount))
            count->setText(QString::number(entry.ticketCount));
        if (PaneProgressBar* bar =
                findInRow<PaneProgressBar>(column, position, QStringLiteral("ProgressBar")))
            bar->setValue(entries.progress(entry.ticketCount));
        if (PanePushButton* button = findInRow<PanePushButton>(column, position, QStringLiteral("Button"))) {
            button->setData(0, entry.optionId);
            button->setEnabled(m_tickets.optionLeft(entry.optionId) != 0);
        }
    }
}

void GroupVoteWin::fitWindow()
{
    fitColumn(0, groupA.size());
    fitColumn(1, groupB.size());
    const int tallest = qMin(qMax(groupA.size(), groupB.size()), kRowsPerColumn);
    m_window->setFixSize(kWindowWidth, kRowHeight * tallest + kWindowBaseHeight);
}

void GroupVoteWin::fitColumn(int column, int size)
{
    for (int row = 0; row < kRowsPerColumn; ++row) {
        const bool used = row < size;
        PaneProgressBar* bar = findInRow<PaneProgressBar>(column, row, QStringLiteral("ProgressBar"));
        PanePushButton* button = findInRow<PanePushButton>(column, row, QStringLiteral("Button"));
        for (PaneWidget* widget : {static_cast<PaneWidget*>(bar), static_cast<PaneWidget*>(button)}) {
            if (widget == nullptr)
                continue;
            widget->setFixHeight(used ? kBarHeight : 0);
            widget->setVisible(used);
        }
        if (PaneWidget* rowWidget = optionRow(column, row))
            rowWidget->setFixHeight(used ? kRowHeight : 0);
    }
}

void GroupVoteWin::startCountdown(qint32 remainSeconds)
{
    if (remainSeconds <= 0 || m_countdown.isRunning())
        return;
    m_countdown.setRemaining(remainSeconds);
    m_countdown.run();
    if (m_window) {
        if (PaneLabelWidget* timer = find<PaneLabelWidget>(QStringLiteral("Timer"))) {
            // The time left from the first moment, not "00:00" until the first tick.
            timer->setText(m_countdown.text());
            timer->setFixWidth(40);
        }
        if (PaneLabelWidget* mark = find<PaneLabelWidget>(QStringLiteral("TimerMark")))
            mark->setText(QStringLiteral("后停止"));
        if (PanePushButton* record = find<PanePushButton>(QStringLiteral("TicketRecord")))
            record->setVisible(false);
        if (PaneWidget* rules = find<PaneWidget>(QStringLiteral("ruleBox")))
            rules->setVisible(true);
    }
}

qint32 GroupVoteWin::remainingTickets() const
{
    return qint32(qBound<qint64>(INT32_MIN, m_tickets.remaining(), INT32_MAX));
}

void GroupVoteWin::VoteBtnClicked()
{
    auto* button = qobject_cast<PanePushButton*>(sender());
    if (button == nullptr || !spendTicket(button) || !countsClickAtOnce())
        return;
    const quint32 optionId = button->data(0).toUInt();
    const RankedEntries* groups[] = {&groupA, &groupB};
    for (int column = 0; column < 2; ++column) {
        const QVector<OptionEntry>& entries = groups[column]->entries();
        for (int position = 0; position < entries.size(); ++position) {
            if (entries.at(position).optionId != optionId)
                continue;
            if (PaneLabelWidget* count =
                    findInRow<PaneLabelWidget>(column, position, QStringLiteral("LableRight")))
                count->setText(QString::number(entries.at(position).ticketCount + 1));
        }
    }
}

void GroupVoteWin::stopVote()
{
    m_countdown.stop();
    m_countdown.setRemaining(0);
    if (!m_window)
        return;
    if (PaneLabelWidget* timer = find<PaneLabelWidget>(QStringLiteral("Timer"))) {
        timer->setText(QString());
        timer->setFixWidth(0);
    }
    if (PaneLabelWidget* mark = find<PaneLabelWidget>(QStringLiteral("TimerMark")))
        mark->setText(QStringLiteral("投票已停止"));
    if (PanePushButton* record = find<PanePushButton>(QStringLiteral("TicketRecord")))
        record->setVisible(true);
    if (PaneWidget* rules = find<PaneWidget>(QStringLiteral("ruleBox")))
        rules->setVisible(false);
    disableColumn(0, groupA.size());
    disableColumn(1, groupB.size());
}

void GroupVoteWin::disableColumn(int column, int size)
{
    for (int position = 0; position < size && position < kRowsPerColumn; ++position) {
        if (PanePushButton* button = findInRow<PanePushButton>(column, position, QStringLiteral("Button")))
            button->setEnabled(false);
    }
}

void GroupVoteWin::clearCounts()
{
    for (int column = 0; column < 2; ++column) {
        for (int row = 0; row < kRowsPerColumn; ++row) {
            if (PaneLabelWidget* count =
                    findInRow<PaneLabelWidget>(column, row, QStringLiteral("LableRight")))
                count->setText(QString());
        }
    }
}

void GroupVoteWin::minWnd()
{
    if (m_window)
        m_window->showMinimized();
}

void GroupVoteWin::onTicketRecordClick()
{
    openHistory();
}
