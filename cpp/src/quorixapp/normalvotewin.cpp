#include "normalvotewin.h"

#include "audiencewindow.h"
#include "quorixcontroller.h"
#include "quorixlog.h"

#include "panefind.h"
#include "paneframewindow.h"
#include "panesyscommandrequest.h"
#include "paneimagewidget.h"
#include "panelabelwidget.h"
#include "paneprogressbar.h"
#include "panepushbutton.h"
#include "panescrollwidget.h"
#include "panewidget.h"

#include <QFont>
#include <QTimer>
#include <QtAlgorithms>

namespace {

const char kLayoutPath[] = ":/layout/theme/quorix/layout/normalVote.xml";
const char kImageDir[] = ":/image/theme/quorix/image/";
const int kRowCount = 10;
const int kRowHeight = 35;
const int kListExtra = 3;
const int kWindowBaseHeight = 184;
const int kPlus1BaseHeight = 108;
const int kPlus1IntervalMs = 100;
const int kPlus1LastFrame = 6;
const int kCountdownIntervalMs = 1000;
const int kBadgeX = 169;
const quint32 kNormalVoteType = 0;

QString image(const char* file)
{
    return QString::fromUtf8(kImageDir) + QString::fromUtf8(file);
}

QString buttonImages()
{
    return image("normalvote_but01.png") + "|" + image("normalvote_but02.png") + "|" +
           image("normalvote_but03.png") + "|" + image("normalvote_but04.png") + "|";
}

QFont font(const char* family, int pointSize, int weight)
{
    return QFont(QString::fromUtf8(family), pointSize, weight);
}

const char* badgeImage(int rank)
{
    if (rank == 0)
        return "first.png";
    return rank == 1 ? "second.png" : "other.png";
}

} // namespace

NormalVoteWin::NormalVoteWin() = default;

NormalVoteWin::~NormalVoteWin()
{
    delete plus1Timer;
    delete countdownTimer;
    for (OptionRow* row : rows) {
        if (row->button)
            disconnect(row->button, nullptr, this, nullptr);
        delete row;
    }
    if (m_pNormalWnd) {
        disconnect(m_pNormalWnd, nullptr, this, nullptr);
        if (ticketRecord)
            disconnect(ticketRecord, nullptr, this, nullptr);
        if (closeButton)
            disconnect(closeButton, nullptr, this, nullptr);
        m_pNormalWnd->close();
        delete m_pNormalWnd;
    }
}

template <class T> T* NormalVoteWin::find(const QString& name) const
{
    return m_pNormalWnd ? panefw::findChild<T>(m_pNormalWnd.data(), name) : nullptr;
}

PaneFrameWindow* NormalVoteWin::frameWindow() const
{
    return m_pNormalWnd;
}

void NormalVoteWin::init(QuorixController* ctrl)
{
    controller = ctrl;
    if (!m_pNormalWnd)
        buildWindow();
}

void NormalVoteWin::buildWindow()
{
    const std::optional<PaneFrameWindow*> created =
        audience::createLayoutWindow(QString::fromUtf8(kLayoutPath));
    if (!created)
        return;
    m_pNormalWnd = *created;
    if (!m_pNormalWnd) {
        QLOG(1) << "m_pNormalWnd create fail";
        return;
    }
    audience::setUpFrame(m_pNormalWnd, QStringLiteral("普通投票"));
    connect(m_pNormalWnd, &PaneFrameWindow::sysCommand, this, &NormalVoteWin::onSysCommand);
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
    row->button->setImagePath(buttonImages());

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
    if (!m_pNormalWnd)
        return;
    if (voteRecord.voteId != shownVoteId)
        beginVote(voteRecord.voteId);
    if (PaneLabelWidget* title = find<PaneLabelWidget>(QStringLiteral("title")))
        title->setText(QString::fromStdString(voteRecord.name));
    rankOptions(voteRecord);
    fitListHeight();
    for (int rank = 0; rank < ranking.size() && rank < static_cast<int>(rows.size()); ++rank)
        showRank(rank);
    replaceShownCounts = false;
}

void NormalVoteWin::showCountedVote(const quorix::VoteInfo& voteRecord)
{
    for (OptionRow* row : rows) {
        if (row->count)
            row->count->setText(QString());
    }
    showVote(voteRecord);
}

// Ranks with Qt's qSort and a non-strict predicate: the order among equal counts is the one that
// algorithm gives, which viewers know from the vote's earlier broadcasts.
void NormalVoteWin::rankOptions(const quorix::VoteInfo& vote)
{
    ranking.clear();
    quint32 maxCount = 0;
    const quint32 optionCount = static_cast<quint32>(vote.options.size());
    for (quint32 id = 0; id < optionCount; ++id) {
        const auto text = vote.options.find(id);
        RankEntry entry;
        entry.optionId = id;
        entry.optionName = text == vote.options.end() ? QString() : QString::fromStdString(text->second);
        entry.ticketCount = vote.ticketsOf(id);
        maxCount = qMax(maxCount, entry.ticketCount);
        ranking.append(entry);
    }
    scale = audience::progressScale(maxCount);
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    qSort(ranking.begin(), ranking.end(),
          [](const RankEntry& a, const RankEntry& b) { return a.ticketCount >= b.ticketCount; });
    QT_WARNING_POP
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
        m_pNormalWnd->setFixHeight(kRowHeight * shown + kWindowBaseHeight);
    } else {
        if (list)
            list->setVisible(false);
        m_pNormalWnd->setFixHeight(kWindowBaseHeight);
    }
}

void NormalVoteWin::showRank(int rank)
{
    const RankEntry& entry = ranking.at(rank);
    OptionRow* row = rowOf(entry.optionId);
    if (row == nullptr || !row->name || !row->count || !row->button)
        return;
    row->name->setText(entry.optionName);
    if (replaceShownCounts || !audience::keepsShownCount(row->count->text(), entry.ticketCount))
        row->count->setText(QString::number(entry.ticketCount));
    row->button->setData(0, entry.optionId);
    if (row->badge) {
        row->badge->setImagePath(QString());
        row->badge->setImagePath(image(badgeImage(rank)));
    }
    setOptionProgress(entry.optionId, audience::progressValue(entry.ticketCount, scale));
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
    for (const RankEntry& entry : ranking)
        ids.append(entry.optionId);
    return ids;
}

// A zero or negative remaining time starts nothing: a countdown below zero would never end.
void NormalVoteWin::startCountdown(qint32 remainSeconds)
{
    if (remainSeconds <= 0)
        return;
    m_remainSeconds = remainSeconds;
    if (countdownTimer != nullptr && countdownTimer->isActive())
        return;
    if (countdownTimer == nullptr) {
        countdownTimer = new QTimer(this);
        connect(countdownTimer, &QTimer::timeout, this, &NormalVoteWin::onTimerCount);
    }
    enterRunningState();
    countdownTimer->start(kCountdownIntervalMs);
}

bool NormalVoteWin::isCountdownRunning() const
{
    return countdownTimer != nullptr && countdownTimer->isActive();
}

void NormalVoteWin::enterRunningState()
{
    if (PaneLabelWidget* stopMark = find<PaneLabelWidget>(QStringLiteral("TimerMarkStop"))) {
        stopMark->setText(QStringLiteral("后停止"));
        stopMark->setFixWidth(40);
    }
    for (const char* name : {"TimerMark", "TimerMark2", "TimerMark3", "Ticket_option", "Ticket"}) {
        if (PaneLabelWidget* label = find<PaneLabelWidget>(QString::fromUtf8(name)))
            label->setVisible(true);
    }
    if (ticketRecord) {
        ticketRecord->setText(QString());
        ticketRecord->setVisible(false);
    }
    if (timerLabel) {
        timerLabel->setFixWidth(40);
        timerLabel->setFont(font("Arial", 11, QFont::Bold));
        // The time left from the first moment, not "00:00" until the first tick a second later.
        timerLabel->setText(audience::countdownText(m_remainSeconds));
    }
}

void NormalVoteWin::onTimerCount()
{
    if (!m_pNormalWnd)
        return;
    m_remainSeconds -= 1;
    if (timerLabel)
        timerLabel->setText(audience::countdownText(m_remainSeconds));
    if (m_remainSeconds <= 0 && countdownTimer != nullptr)
        countdownTimer->stop();
}

void NormalVoteWin::setOptionLimit(quorix::UserTicketInfo ticketInfo)
{
    // More tickets used than allowed means none left, never a wrapped-around number.
    m_nRemainTicket = ticketInfo.ticketsUsed < ticketInfo.ticketsPerUser
                          ? ticketInfo.ticketsPerUser - ticketInfo.ticketsUsed
                          : 0;
    QLOG(2) << " NormalVoteWin!setOptionLimit m_nRemainTicket==" << m_nRemainTicket;
    m_optionRemain.clear();
    for (const auto& [optionId, used] : ticketInfo.usedPerOption) {
        const quint32 left = used < ticketInfo.ticketsPerOption ? ticketInfo.ticketsPerOption - used : 0;
        m_optionRemain.insert(optionId, left);
        QLOG(2) << " NormalVoteWin!setOptionLimit optionID== " << optionId << " optionTicketLimit== " << left;
    }
    optionLimitSet = true;
    if (m_nRemainTicket == 0)
        exhaustAllowance();
    if (!m_pNormalWnd)
        return;
    setTicketLabels(ticketInfo.ticketsPerOption);
    refreshVoteButtons();
}

void NormalVoteWin::resetTicketLimits(quorix::VoteInfo voteRecord)
{
    m_nRemainTicket = voteRecord.ticketLimit(quorix::kTicketsPerUser);
    const quint32 perOption = voteRecord.ticketLimit(quorix::kTicketsPerOption);
    m_optionRemain.clear();
    for (const auto& option : voteRecord.options)
        m_optionRemain.insert(option.first, perOption);
    optionLimitSet = true;
    if (!m_pNormalWnd)
        return;
    setTicketLabels(perOption);
    refreshVoteButtons();
}

void NormalVoteWin::setTicketLabels(quint32 perOption)
{
    if (ticketLabel)
        ticketLabel->setText(QString::number(m_nRemainTicket));
    if (PaneLabelWidget* optionLabel = find<PaneLabelWidget>(QStringLiteral("Ticket_option")))
        optionLabel->setText(QString::number(perOption));
}

void NormalVoteWin::exhaustAllowance()
{
    for (auto it = m_optionRemain.begin(); it != m_optionRemain.end(); ++it)
        it.value() = 0;
    refreshVoteButtons();
}

void NormalVoteWin::refreshVoteButtons()
{
    if (!m_pNormalWnd)
        return;
    for (int rank = 0; rank < ranking.size() && rank < static_cast<int>(rows.size()); ++rank) {
        const quint32 optionId = ranking.at(rank).optionId;
        OptionRow* row = rowOf(optionId);
        if (row != nullptr && row->button)
            row->button->setEnabled(m_optionRemain.value(optionId, 0) > 0);
    }
}

bool NormalVoteWin::isOptionLimitSet() const
{
    return optionLimitSet;
}
void NormalVoteWin::clearOptionLimitFlag()
{
    optionLimitSet = false;
}

void NormalVoteWin::expectServiceNumbers()
{
    replaceShownCounts = true;
    optionLimitSet = false;
}

void NormalVoteWin::onBtnVoteClick()
{
    auto* button = qobject_cast<PanePushButton*>(sender());
    if (button == nullptr)
        return;
    const quint32 optionId = button->data(0).toUInt();
    // A click that arrives without a ticket for this option (a stale or scripted click) spends
    // nothing: the counters never wrap below zero.
    if (m_nRemainTicket == 0 || m_optionRemain.value(optionId, 0) == 0) {
        button->setEnabled(false);
        return;
    }
    quint32& optionLeft = m_optionRemain[optionId];
    optionLeft -= 1;
    if (optionLeft == 0)
        button->setEnabled(false);
    m_nRemainTicket -= 1;
    if (ticketLabel)
        ticketLabel->setText(QString::number(m_nRemainTicket));
    if (m_nRemainTicket == 0)
        exhaustAllowance();
    countOptimistically(button);
    startPlus1(button);
    if (controller)
        controller->reqUserVote2Option(optionId, kNormalVoteType);
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
    plus1->setImagePath(QString::fromUtf8(kImageDir) + QStringLiteral("1_0%1.png").arg(plus1Frame));
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
    if (countdownTimer != nullptr)
        countdownTimer->stop();
    if (!m_pNormalWnd)
        return;
    if (timerLabel) {
        timerLabel->setFont(font("Arial", 9, QFont::Normal));
        timerLabel->setFixWidth(80);
        timerLabel->setText(QStringLiteral("投票已结束"));
    }
    enterEndedState();
}

void NormalVoteWin::enterEndedState()
{
    if (PaneLabelWidget* stopMark = find<PaneLabelWidget>(QStringLiteral("TimerMarkStop"))) {
        stopMark->setText(QString());
        stopMark->setFixWidth(0);
    }
    for (const char* name : {"TimerMark", "TimerMark2", "TimerMark3", "Ticket_option", "Ticket"}) {
        if (PaneLabelWidget* label = find<PaneLabelWidget>(QString::fromUtf8(name)))
            label->setVisible(false);
    }
    if (ticketRecord) {
        ticketRecord->setText(QStringLiteral("投票记录"));
        ticketRecord->setVisible(true);
    }
    for (OptionRow* row : rows) {
        if (row->button)
            row->button->setEnabled(false);
    }
}

void NormalVoteWin::hideAndClear()
{
    if (!m_pNormalWnd)
        return;
    QLOG(1) << "normal wnd  clear while receive close msg ";
    clearCounts();
    m_pNormalWnd->hide();
}

void NormalVoteWin::clearCounts()
{
    for (int i = 0; i < kRowCount; ++i) {
        if (PaneLabelWidget* count = find<PaneLabelWidget>(QStringLiteral("LableRight") + QString::number(i)))
            count->setText(QString());
    }
}

// Viewers never get the close answer, so the window may still show the last vote when the next
// one starts: its counts and ticket limits belong to that vote and must not carry over (a kept
// higher count would hide the new vote's real one).
void NormalVoteWin::beginVote(quint32 voteId)
{
    shownVoteId = voteId;
    clearCounts();
    m_optionRemain.clear();
    m_nRemainTicket = 0;
    optionLimitSet = false;
}

void NormalVoteWin::showOnTop()
{
    audience::showOnTop(m_pNormalWnd);
}

void NormalVoteWin::flashTaskbar()
{
    audience::flashTaskbar(m_pNormalWnd);
}

void NormalVoteWin::onBtnClose()
{
    if (m_pNormalWnd)
        m_pNormalWnd->showMinimized();
}

void NormalVoteWin::onSysCommand(PaneSysCommandRequest* request)
{
    if (audience::handleSysCommand(m_pNormalWnd, request))
        showOnTop();
}

void NormalVoteWin::onTicketRecordClick()
{
    if (controller)
        controller->onRecordBtnClicked();
}
