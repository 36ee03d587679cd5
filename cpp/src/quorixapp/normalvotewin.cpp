#include "src/quorixapp/normalvotewin.h"

#include "panefind.h"
#include "paneframewindow.h"
#include "paneimagewidget.h"
#include "panelabelwidget.h"
#include "paneprogressbar.h"
#include "panepushbutton.h"
#include "panescrollwidget.h"
#include "panewidget.h"

#include <QFont>
#include <QTimer>

namespace {

const char kLayoutPath[] = ":/layout/theme/quorix/layout/normalVote.xml";
const int kRowCount = 10;
const int kRowHeight = 35;
const int kListExtra = 3;
const int kWindowBaseHeight = 184;
const int kPlus1BaseHeight = 108;
const int kPlus1IntervalMs = 100;
const int kPlus1LastFrame = 6;
const int kBadgeX = 169;

const char* badgeImage(int rank)
{
    if (rank == 0)
        return "first.png";
    return rank == 1 ? "second.png" : "other.png";
}

} // namespace

NormalVoteWin::NormalVoteWin()
    : TicketedVoteWindow(kLayoutPath, QStringLiteral("普通投票"), quorix::kNormalVote)
{}

NormalVoteWin::~NormalVoteWin()
{
    delete plus1Timer;
    for (OptionRow* row : rows) {
        if (row->button)
            disconnect(row->button, nullptr, this, nullptr);
        delete row;
    }
    if (ticketRecord)
        disconnect(ticketRecord, nullptr, this, nullptr);
    if (closeButton)
        disconnect(closeButton, nullptr, this, nullptr);
}

void NormalVoteWin::setUpWindow()
{
    buildRows();
    plus1Timer = new QTimer(this);
    connect(plus1Timer, &QTimer::timeout, this, &NormalVoteWin::onPlus1);
    if (PaneScrollWidget* scroll = find<PaneScrollWidget>(QStringLiteral("createNormalVoteScroll"))) {
        scroll->setScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setSingleStep(0.0);
    }
    if (PaneLabelWidget* title = find<PaneLabelWidget>(QStringLiteral("title")))
        title->setFont(font("宋体", 12, QFont::Bold));
    setUpFooter();
}

void NormalVoteWin::buildRows()
{
    for (int i = 0; i < kRowCount; ++i) {
        const QString suffix = QString::number(i);
        auto* row = new OptionRow;
        row->name = find<PaneLabelWidget>(QStringLiteral("LableLeft") + suffix);
        row->count = find<PaneLabelWidget>(QStringLiteral("LableRight") + suffix);
        row->badge = find<PaneImageWidget>(QStringLiteral("Image") + suffix);
        row->progress = find<PaneProgressBar>(QStringLiteral("ProgressBar") + suffix);
        row->button = find<PanePushButton>(QStringLiteral("Button") + suffix);
        row->layer = find<PaneWidget>(QStringLiteral("layer") + suffix);
        if (!row->name || !row->count || !row->badge || !row->progress || !row->button || !row->layer) {
            delete row;
            continue;
        }
        setUpRow(row);
        rows.push_back(row);
    }
}

void NormalVoteWin::setUpRow(OptionRow* row)
{
    connect(row->button, &PanePushButton::clicked, this, &NormalVoteWin::onBtnVoteClick,
            Qt::UniqueConnection);
    row->button->setImagePath(image("normalvote_but01.png") + "|" + image("normalvote_but02.png") + "|" +
                              image("normalvote_but03.png") + "|" + image("normalvote_but04.png") + "|");

    row->name->setFont(font("宋体", 10, QFont::Normal));
    row->name->setTextColor(QColor(0, 0, 0, 255));
    row->name->setFixWidth(250);
    row->name->setPos(10, 7);
    row->name->setAlignment(Qt::AlignLeft);

    row->count->setFont(font("Arial", 12, QFont::Normal));
    row->count->setTextColor(QColor(156, 209, 238));
    row->count->setText(QString());
    row->count->setPos(207, 7);
    row->count->setAlignment(Qt::AlignRight);

    row->badge->setVisible(false);
    row->badge->setImagePath(image("first.png"));
    row->badge->setX(kBadgeX);

    row->progress->setBackgroundColorizePolicy(1);
    row->progress->setProgressStripeImage(image("voteProgBkg.png") + "|" + image("voteProg.png"));
    row->progress->setValue(50);
}

void NormalVoteWin::setUpFooter()
{
    ticketRecord = find<PanePushButton>(QStringLiteral("TicketRecord"));
    timerLabel = find<PaneLabelWidget>(QStringLiteral("Timer"));
    ticketLabel = find<PaneLabelWidget>(QStringLiteral("Ticket"));
    closeButton = find<PanePushButton>(QStringLiteral("btnClose"));
    if (ticketRecord) {
        ticketRecord->setButtonStyle(4);
        ticketRecord->setImagePath(QString());
        ticketRecord->setText(QStringLiteral("投票记录"));
        ticketRecord->setTextColor(QColor(0, 112, 192, 255));
        connect(ticketRecord, &PanePushButton::clicked, this, &NormalVoteWin::onTicketRecordClick);
    }
    if (timerLabel)
        timerLabel->setFont(font("Arial", 11, QFont::Bold));
    if (ticketLabel) {
        ticketLabel->setTextColor(QColor(255, 102, 0));
        ticketLabel->setFont(font("Arial", 11, QFont::Bold));
    }
    if (closeButton) {
        closeButton->setImagePath(image("but_minimize_nomal.png"));
        connect(closeButton, &PanePushButton::clicked, this, &NormalVoteWin::onBtnClose,
                Qt::UniqueConnection);
    }
}

NormalVoteWin::OptionRow* NormalVoteWin::rowOf(quint32 optionId) const
{
    return optionId < rows.size() ? rows[optionId] : nullptr;
}

void NormalVoteWin::showVote(quorix::VoteInfo voteRecord)
{
    if (!m_window)
        return;
    beginVoteOf(voteRecord);
    if (PaneLabelWidget* title = find<PaneLabelWidget>(QStringLiteral("title")))
        title->setText(QString::fromStdString(voteRecord.name));
    ranking = RankedEntries(voteRecord);
    ranking.rankByCount();
    fitListHeight();
    for (int rank = 0; rank < ranking.size() && rank < static_cast<int>(rows.size()); ++rank)
        showRank(rank);
    shownCountsKept();
}

void NormalVoteWin::fitListHeight()
{
    const int shown = qMin(ranking.size(), static_cast<int>(rows.size()));
    PaneWidget* list = find<PaneWidget>(QStringLiteral("VoteList"));
    if (shown > 0) {
        if (list) {
            list->setVisible(true);
            list->setFixHeight(kRowHeight * shown + kListExtra);
        }
        m_window->setFixHeight(kRowHeight * shown + kWindowBaseHeight);
    } else {
        if (list)
            list->setVisible(false);
        m_window->setFixHeight(kWindowBaseHeight);
    }
}

void NormalVoteWin::showRank(int rank)
{
    const OptionEntry& entry = ranking.entries().at(rank);
    OptionRow* row = rowOf(entry.optionId);
    if (row == nullptr || !row->name || !row->count || !row->button)
        return;
    row->name->setText(entry.optionName);
    if (replacesShownCount(row->count->text(), entry.ticketCount))
        row->count->setText(QString::number(entry.ticketCount));
    row->button->setData(0, entry.optionId);
    if (row->badge) {
        row->badge->setImagePath(QString());
        row->badge->setImagePath(image(badgeImage(rank)));
    }
    setOptionProgress(entry.optionId, ranking.progress(entry.ticketCount));
}

void NormalVoteWin::setOptionProgress(quint32 optionId, int value)
{
    OptionRow* row = rowOf(optionId);
    if (row == nullptr || !row->badge || !row->progress)
        return;
    row->badge->setVisible(value != 0);
    row->progress->setValue(value);
    const int barWidth = static_cast<int>(row->progress->size().width());
    const int badgeWidth = static_cast<int>(row->badge->size().width());
    int x = barWidth * value / 100 - badgeWidth / 2;
    if (x < 0)
        x = 0;
    else if (x >= barWidth)
        x = barWidth - badgeWidth / 2;
    row->badge->setX(x);
}

QVector<quint32> NormalVoteWin::rankedOptions() const
{
    QVector<quint32> ids;
    for (const OptionEntry& entry : ranking.entries())
        ids.append(entry.optionId);
    return ids;
}

void NormalVoteWin::startCountdown(qint32 remainSeconds)
{
    if (remainSeconds <= 0)
        return;
    m_countdown.setRemaining(remainSeconds);
    if (m_countdown.isRunning())
        return;
    showRunningState(true);
    m_countdown.run();
}

// The footer of a running vote (time left, tickets) or of an ended one (the record button).
void NormalVoteWin::showRunningState(bool running)
{
    if (PaneLabelWidget* stopMark = find<PaneLabelWidget>(QStringLiteral("TimerMarkStop"))) {
        stopMark->setText(running ? QStringLiteral("后停止") : QString());
        stopMark->setFixWidth(running ? 40 : 0);
    }
    for (const char* name : {"TimerMark", "TimerMark2", "TimerMark3", "Ticket_option", "Ticket"}) {
        if (PaneLabelWidget* label = find<PaneLabelWidget>(QString::fromUtf8(name)))
            label->setVisible(running);
    }
    if (ticketRecord) {
        ticketRecord->setText(running ? QString() : QStringLiteral("投票记录"));
        ticketRecord->setVisible(!running);
    }
    if (timerLabel) {
        timerLabel->setFixWidth(running ? 40 : 80);
        timerLabel->setFont(running ? font("Arial", 11, QFont::Bold) : font("Arial", 9, QFont::Normal));
        // The time left from the first moment, not "00:00" until the first tick a second later.
        timerLabel->setText(running ? m_countdown.text() : QStringLiteral("投票已结束"));
    }
}

void NormalVoteWin::refreshOptions()
{
    if (!m_window)
        return;
    for (int rank = 0; rank < ranking.size() && rank < static_cast<int>(rows.size()); ++rank) {
        const quint32 optionId = ranking.entries().at(rank).optionId;
        OptionRow* row = rowOf(optionId);
        if (row != nullptr && row->button)
            row->button->setEnabled(m_tickets.optionLeft(optionId) > 0);
    }
}

void NormalVoteWin::onBtnVoteClick()
{
    auto* button = qobject_cast<PanePushButton*>(sender());
    if (button == nullptr || !spendTicket(button))
        return;
    if (countsClickAtOnce())
        countOptimistically(button);
    startPlus1(button);
}

void NormalVoteWin::countOptimistically(PanePushButton* sender)
{
    for (OptionRow* row : rows) {
        if (row->button != sender || !row->count)
            continue;
        row->count->setText(QString::number(row->count->text().toUInt() + 1));
    }
}

void NormalVoteWin::startPlus1(PanePushButton* sender)
{
    const QString name = sender->objectName();
    const int rowNumber = name.isEmpty() ? 0 : name.right(1).toInt();
    if (PaneWidget* band = find<PaneWidget>(QStringLiteral("plus1")))
        band->setFixHeight(kRowHeight * rowNumber + kPlus1BaseHeight);
    if (plus1Timer == nullptr)
        return;
    if (plus1Timer->isActive())
        plus1Timer->stop();
    plus1Timer->start(kPlus1IntervalMs);
}

void NormalVoteWin::onPlus1()
{
    PaneImageWidget* plus1 = find<PaneImageWidget>(QStringLiteral("plus1"));
    if (plus1 == nullptr)
        return;
    plus1->setImagePath(image(QStringLiteral("1_0%1.png").arg(plus1Frame)));
    plus1Frame += 1;
    if (plus1Frame != kPlus1LastFrame)
        return;
    plus1Frame = 1;
    if (plus1Timer != nullptr)
        plus1Timer->stop();
    plus1->setImagePath(QString());
}

// The ended state does not depend on a countdown having run: a vote that started without
// remaining time must still stop taking tickets when the service ends it.
void NormalVoteWin::stopVote()
{
    m_countdown.stop();
    if (!m_window)
        return;
    showRunningState(false);
    for (OptionRow* row : rows) {
        if (row->button)
            row->button->setEnabled(false);
    }
}

void NormalVoteWin::clearCounts()
{
    for (int i = 0; i < kRowCount; ++i) {
        if (PaneLabelWidget* count = find<PaneLabelWidget>(QStringLiteral("LableRight") + QString::number(i)))
            count->setText(QString());
    }
}

void NormalVoteWin::onBtnClose()
{
    if (m_window)
        m_window->showMinimized();
}

void NormalVoteWin::onTicketRecordClick()
{
    openHistory();
}
