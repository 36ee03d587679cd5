#include "groupvotewin.h"

#include "audiencewindow.h"
#include "quorixcontroller.h"
#include "quorixlog.h"

#include "panefind.h"
#include "paneframewindow.h"
#include "panesyscommandrequest.h"
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
const int kCountdownIntervalMs = 1000;
const quint32 kGroupVoteType = 1;
const char* const kColumns[] = {"optionListA", "optionListB"};

QFont font(const char* family, int pointSize, int weight = -1)
{
    return QFont(QString::fromUtf8(family), pointSize, weight);
}

void styleLabel(PaneLabelWidget* label, const QColor& color, const QFont& labelFont)
{
    if (label == nullptr)
        return;
    label->setTextColor(color);
    label->setFont(labelFont);
}

QString shownTickets(qint32 remaining)
{
    return QString::number(qMax(remaining, 0));
}

} // namespace

GroupVoteWin::GroupVoteWin() = default;

GroupVoteWin::~GroupVoteWin()
{
    countdownTimer.stop();
    disconnect(&countdownTimer, nullptr, this, nullptr);
    if (!m_pGroupWnd)
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
    disconnect(m_pGroupWnd, nullptr, this, nullptr);
    m_pGroupWnd->close();
    delete m_pGroupWnd;
}

template <class T> T* GroupVoteWin::find(const QString& name) const
{
    return m_pGroupWnd ? panefw::findChild<T>(m_pGroupWnd.data(), name) : nullptr;
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

PaneFrameWindow* GroupVoteWin::frameWindow() const
{
    return m_pGroupWnd;
}

void GroupVoteWin::init(QuorixController* ctrl)
{
    controller = ctrl;
    if (!m_pGroupWnd)
        buildWindow();
}

void GroupVoteWin::buildWindow()
{
    const std::optional<PaneFrameWindow*> created =
        audience::createLayoutWindow(QString::fromUtf8(kLayoutPath));
    if (!created)
        return;
    m_pGroupWnd = *created;
    if (!m_pGroupWnd) {
        QLOG(1) << "m_pGroupWnd create fail";
        return;
    }
    audience::setUpFrame(m_pGroupWnd, QStringLiteral("对战投票"));
    connect(m_pGroupWnd, &PaneFrameWindow::sysCommand, this, &GroupVoteWin::onSysCommand);
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
    connect(&countdownTimer, &QTimer::timeout, this, &GroupVoteWin::onTimerCount, Qt::UniqueConnection);
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
    if (!m_pGroupWnd)
        return;
    if (voteRecord.voteId != shownVoteId)
        beginVote(voteRecord.voteId);
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
    refreshOptionRows();
    replaceShownCounts = false;
    fitWindow();
}

void GroupVoteWin::showCountedVote(const quorix::VoteInfo& voteRecord)
{
    for (int column = 0; column < 2; ++column) {
        for (int position = 0; optionRow(column, position) != nullptr; ++position) {
            if (auto* count = findInRow<PaneLabelWidget>(column, position, QStringLiteral("LableRight")))
                count->setText(QString());
        }
    }
    showVote(voteRecord);
}

void GroupVoteWin::groupOptions(const quorix::VoteInfo& vote)
{
    groupA.clear();
    groupB.clear();
    quint32 maxCount = 0;
    quint32 sumA = 0;
    quint32 sumB = 0;
    const quint32 optionCount = static_cast<quint32>(vote.options.size());
    for (quint32 id = 0; id < optionCount; ++id) {
        const auto text = vote.options.find(id);
        const auto group = vote.optionGroup.find(id);
        OptionEntry entry;
        entry.optionId = id;
        entry.optionName = text == vote.options.end() ? QString() : QString::fromStdString(text->second);
        entry.ticketCount = vote.ticketsOf(id);
        maxCount = qMax(maxCount, entry.ticketCount);
        if (group == vote.optionGroup.end() || group->second == 0) {
            groupA.append(entry);
            sumA += entry.ticketCount;
        } else {
            groupB.append(entry);
            sumB += entry.ticketCount;
        }
    }
    if (PaneLabelWidget* scoreA = find<PaneLabelWidget>(QStringLiteral("AGroupScore")))
        scoreA->setText(QString::number(sumA));
    if (PaneLabelWidget* scoreB = find<PaneLabelWidget>(QStringLiteral("BGroupScore")))
        scoreB->setText(QString::number(sumB));
    progressScale = audience::progressScale(maxCount);
}

void GroupVoteWin::refreshOptionRows()
{
    if (!m_pGroupWnd)
        return;
    refreshColumn(0, groupA);
    refreshColumn(1, groupB);
}

void GroupVoteWin::refreshColumn(int column, const QVector<OptionEntry>& entries)
{
    for (int position = 0; position < entries.size(); ++position) {
        if (optionRow(column, position) == nullptr)
            continue;
        const OptionEntry& entry = entries.at(position);
        if (PaneLabelWidget* name = findInRow<PaneLabelWidget>(column, position, QStringLiteral("LableLeft")))
            name->setText(entry.optionName);
        PaneLabelWidget* count = findInRow<PaneLabelWidget>(column, position, QStringLiteral("LableRight"));
        if (count != nullptr &&
            (replaceShownCounts || !audience::keepsShownCount(count->text(), entry.ticketCount)))
            count->setText(QString::number(entry.ticketCount));
        if (PaneProgressBar* bar =
                findInRow<PaneProgressBar>(column, position, QStringLiteral("ProgressBar")))
            bar->setValue(audience::progressValue(entry.ticketCount, progressScale));
        if (PanePushButton* button = findInRow<PanePushButton>(column, position, QStringLiteral("Button"))) {
            button->setData(0, entry.optionId);
            button->setEnabled(optionRemain.value(entry.optionId, 0) != 0);
        }
    }
}

void GroupVoteWin::fitWindow()
{
    fitColumn(0, groupA.size());
    fitColumn(1, groupB.size());
    const int tallest = qMin(qMax(groupA.size(), groupB.size()), kRowsPerColumn);
    m_pGroupWnd->setFixSize(kWindowWidth, kRowHeight * tallest + kWindowBaseHeight);
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

// A zero or negative remaining time starts nothing; a running countdown keeps its own time.
void GroupVoteWin::startCountdown(qint32 remainSeconds)
{
    if (remainSeconds <= 0 || countdownTimer.isActive())
        return;
    this->remainSeconds = remainSeconds;
    countdownTimer.start(kCountdownIntervalMs);
    if (m_pGroupWnd) {
        if (PaneLabelWidget* timer = find<PaneLabelWidget>(QStringLiteral("Timer"))) {
            // The time left from the first moment, not "00:00" until the first tick.
            timer->setText(audience::countdownText(remainSeconds));
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

void GroupVoteWin::onTimerCount()
{
    if (!m_pGroupWnd)
        return;
    remainSeconds -= 1;
    if (PaneLabelWidget* timer = find<PaneLabelWidget>(QStringLiteral("Timer")))
        timer->setText(audience::countdownText(remainSeconds));
    if (remainSeconds <= 0)
        countdownTimer.stop();
}

void GroupVoteWin::setOptionLimit(quorix::UserTicketInfo ticketInfo)
{
    const qint64 left = qint64(ticketInfo.ticketsPerUser) - qint64(ticketInfo.ticketsUsed);
    remainTicket = static_cast<qint32>(qBound<qint64>(INT32_MIN, left, INT32_MAX));
    optionRemain.clear();
    for (const auto& [optionId, used] : ticketInfo.usedPerOption)
        optionRemain.insert(optionId,
                            used < ticketInfo.ticketsPerOption ? ticketInfo.ticketsPerOption - used : 0);
    optionLimitSet = true;
    if (remainTicket <= 0)
        exhaustAllowance();
    if (!m_pGroupWnd)
        return;
    setTicketLabels(ticketInfo.ticketsPerOption);
    refreshOptionRows();
}

void GroupVoteWin::resetTicketLimits(quorix::VoteInfo voteRecord)
{
    remainTicket = static_cast<qint32>(voteRecord.ticketLimit(quorix::kTicketsPerUser));
    const quint32 perOption = voteRecord.ticketLimit(quorix::kTicketsPerOption);
    optionRemain.clear();
    for (const auto& option : voteRecord.options)
        optionRemain.insert(option.first, perOption);
    optionLimitSet = true;
    if (!m_pGroupWnd)
        return;
    setTicketLabels(perOption);
    refreshOptionRows();
}

// The label never shows fewer than none left, even when more were used than allowed.
void GroupVoteWin::setTicketLabels(quint32 perOption)
{
    if (PaneLabelWidget* tickets = find<PaneLabelWidget>(QStringLiteral("Ticket")))
        tickets->setText(shownTickets(remainTicket));
    if (PaneLabelWidget* optionTickets = find<PaneLabelWidget>(QStringLiteral("Ticket_option")))
        optionTickets->setText(QString::number(perOption));
}

void GroupVoteWin::exhaustAllowance()
{
    for (auto it = optionRemain.begin(); it != optionRemain.end(); ++it)
        it.value() = 0;
}

bool GroupVoteWin::isOptionLimitSet() const
{
    return optionLimitSet;
}
void GroupVoteWin::clearOptionLimitFlag()
{
    optionLimitSet = false;
}

void GroupVoteWin::expectServiceNumbers()
{
    replaceShownCounts = true;
    optionLimitSet = false;
}

void GroupVoteWin::VoteBtnClicked()
{
    auto* button = qobject_cast<PanePushButton*>(sender());
    if (button == nullptr)
        return;
    const quint32 optionId = button->data(0).toUInt();
    // Without a ticket for this option the click spends nothing and sends nothing.
    if (remainTicket <= 0 || optionRemain.value(optionId, 0) == 0) {
        button->setEnabled(false);
        return;
    }
    quint32& optionLeft = optionRemain[optionId];
    optionLeft -= 1;
    if (optionLeft == 0)
        button->setEnabled(false);
    remainTicket -= 1;
    if (PaneLabelWidget* tickets = find<PaneLabelWidget>(QStringLiteral("Ticket")))
        tickets->setText(shownTickets(remainTicket));
    if (remainTicket <= 0) {
        exhaustAllowance();
        refreshOptionRows();
    }
    const QVector<OptionEntry>* groups[] = {&groupA, &groupB};
    for (int column = 0; column < 2; ++column) {
        const QVector<OptionEntry>& entries = *groups[column];
        for (int position = 0; position < entries.size(); ++position) {
            if (entries.at(position).optionId != optionId)
                continue;
            if (PaneLabelWidget* count =
                    findInRow<PaneLabelWidget>(column, position, QStringLiteral("LableRight")))
                count->setText(QString::number(entries.at(position).ticketCount + 1));
        }
    }
    if (controller)
        controller->reqUserVote2Option(optionId, kGroupVoteType);
}

void GroupVoteWin::stopVote()
{
    countdownTimer.stop();
    remainSeconds = 0;
    if (!m_pGroupWnd)
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

void GroupVoteWin::hideAndClear()
{
    if (!m_pGroupWnd)
        return;
    clearCounts();
    m_pGroupWnd->hide();
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

// Viewers never get the close answer: counts and ticket limits of the last vote must not carry
// over into the next one.
void GroupVoteWin::beginVote(quint32 voteId)
{
    shownVoteId = voteId;
    clearCounts();
    optionRemain.clear();
    remainTicket = 0;
    optionLimitSet = false;
}

void GroupVoteWin::showOnTop()
{
    audience::showOnTop(m_pGroupWnd);
}

void GroupVoteWin::flashTaskbar()
{
    audience::flashTaskbar(m_pGroupWnd);
}

void GroupVoteWin::minWnd()
{
    if (m_pGroupWnd)
        m_pGroupWnd->showMinimized();
}

void GroupVoteWin::onSysCommand(PaneSysCommandRequest* request)
{
    if (audience::handleSysCommand(m_pGroupWnd, request))
        showOnTop();
}

void GroupVoteWin::onTicketRecordClick()
{
    if (controller)
        controller->onRecordBtnClicked();
}
