#include "src/quorixapp/judgevotewin.h"

#include "src/quorixapp/entuserinteface.h"
#include "src/quorixapp/quorixapp.h"
#include "src/quorixapp/quorixcontroller.h"

#include "panefind.h"
#include "paneframeitemex.h"
#include "paneframewindow.h"
#include "paneimagewidget.h"
#include "panelabelwidget.h"
#include "panemessagebox.h"
#include "panepushbutton.h"
#include "panespaceritem.h"
#include "panewidget.h"

#include <QFont>

namespace {

const char kLayoutPath[] = ":/layout/theme/quorix/layout/JudgeVoteWin.xml";
const int kCardCount = 5;
const int kCardWidth = 96;
const int kWindowWidth = 518;
const int kPopupOffset = 5;
const int kPopupHiddenOffset = 800;
const char kScoring[] = "打分中...";
const char kAbstained[] = "弃权";
const char* const kScoreNames[] = {"1", "2", "3", "4", "5"};

} // namespace

JudgeVoteWin::JudgeVoteWin() : AudienceVoteWindow(kLayoutPath, QStringLiteral("评委投票"), "timer") {}

JudgeVoteWin::~JudgeVoteWin()
{
    for (JudgeCard* card : cards)
        delete card;
    if (!m_window)
        return;
    for (const char* name : {"pointBtn", "VoteRecord", "CloseBtn", "1", "2", "3", "4", "5"}) {
        if (PanePushButton* button = find<PanePushButton>(QString::fromUtf8(name)))
            disconnect(button, nullptr, this, nullptr);
    }
    if (PaneFrameItemEx* sub = find<PaneFrameItemEx>(QStringLiteral("PointWinSub")))
        disconnect(sub, nullptr, this, nullptr);
}

void JudgeVoteWin::setUpWindow()
{
    if (PaneFrameItemEx* sub = find<PaneFrameItemEx>(QStringLiteral("PointWinSub")))
        connect(sub, &PaneFrameItemEx::leaved, this, &JudgeVoteWin::onLeaved, Qt::UniqueConnection);
    setUpLabels();
    setUpButtons();
    buildCards();
    if (PaneWidget* row = find<PaneWidget>(QStringLiteral("Widget")))
        row->setSpacing(0);
}

void JudgeVoteWin::setUpLabels()
{
    if (PaneLabelWidget* title = find<PaneLabelWidget>(QStringLiteral("title"))) {
        title->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        title->setFont(font("微软雅黑", 12, QFont::Bold));
        title->setTextColor(Qt::white);
    }
    totalPoint = find<PaneLabelWidget>(QStringLiteral("totalPoint"));
    if (totalPoint) {
        totalPoint->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        totalPoint->setFont(font("微软雅黑", 12, QFont::Bold));
        totalPoint->setTextColor(QColor(255, 244, 109));
        totalPoint->setText(QStringLiteral("0"));
    }
    timerLabel = find<PaneLabelWidget>(QStringLiteral("timer"));
    if (timerLabel) {
        timerLabel->setAlignment(Qt::AlignBottom);
        timerLabel->setFont(font("Arial", 11, QFont::Bold));
        timerLabel->setTextColor(Qt::white);
    }
    if (PaneLabelWidget* mark = find<PaneLabelWidget>(QStringLiteral("timerMark"))) {
        mark->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
        mark->setFont(font("宋体", 10, QFont::Normal));
        mark->setTextColor(Qt::white);
    }
}

void JudgeVoteWin::setUpButtons()
{
    if (PanePushButton* point = find<PanePushButton>(QStringLiteral("pointBtn"))) {
        setPointButtonImages("judge_but");
        connect(point, &PanePushButton::clicked, this, &JudgeVoteWin::onJudgePointClick,
                Qt::UniqueConnection);
        connect(point, &PanePushButton::hoverEnter, this, &JudgeVoteWin::onHoverEnter, Qt::UniqueConnection);
    }
    if (PanePushButton* close = find<PanePushButton>(QStringLiteral("CloseBtn"))) {
        close->setImagePath(image(QStringLiteral("but_minimize_nomal.png")));
        connect(close, &PanePushButton::clicked, this, &JudgeVoteWin::onJudgeWinClose, Qt::UniqueConnection);
    }
    if (PanePushButton* record = find<PanePushButton>(QStringLiteral("VoteRecord"))) {
        record->setButtonStyle(PanePushButton::TextOnly);
        record->setImagePath(QString());
        record->setText(QStringLiteral("投票记录"));
        record->setTextColor(QColor(48, 179, 245, 255));
        // Thin text in this blue is hard to read on the dark footer; a bold face carries it.
        record->setFont(font("微软雅黑", 10, QFont::Bold));
        connect(record, &PanePushButton::clicked, this, &JudgeVoteWin::onVoteRecordClick,
                Qt::UniqueConnection);
    }
    for (const char* name : kScoreNames) {
        PanePushButton* score = find<PanePushButton>(QString::fromUtf8(name));
        if (score == nullptr)
            continue;
        score->setImagePath(QString());
        score->setButtonStyle(PanePushButton::TextOnly);
        connect(score, &PanePushButton::clicked, this, &JudgeVoteWin::onSelectPoint, Qt::UniqueConnection);
        connect(score, &PanePushButton::hoverEnter, this, &JudgeVoteWin::onSelectHoverEnter,
                Qt::UniqueConnection);
    }
}

void JudgeVoteWin::buildCards()
{
    for (int i = 0; i < kCardCount; ++i) {
        const QString suffix = QString::number(i);
        PaneImageWidget* background = find<PaneImageWidget>(QStringLiteral("Judge") + suffix);
        if (background == nullptr)
            continue;
        background->setImagePath(image(QStringLiteral("JudgingBg.png")));
        auto* card = new JudgeCard;
        card->background = background;
        card->scoreImage = find<PaneImageWidget>(QStringLiteral("JudgeImage") + suffix);
        card->status = find<PaneLabelWidget>(QStringLiteral("Judging") + suffix);
        card->score = find<PaneLabelWidget>(QStringLiteral("JudgeCount") + suffix);
        card->name = find<PaneLabelWidget>(QStringLiteral("Judger") + suffix);
        if (card->score) {
            card->score->setFont(font("Arial", 30));
            // The digit is taller than its 23-pixel row: let it spill over the row's edges
            // (still centred) instead of having its top and bottom cut off.
            card->score->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter |
                                      static_cast<Qt::AlignmentFlag>(Qt::TextDontClip));
        }
        cards.push_back(card);
    }
}

void JudgeVoteWin::layOutCards(int judgeCount)
{
    if (judgeCount > kCardCount)
        return;
    for (JudgeCard* card : cards) {
        if (card->background)
            card->background->setVisible(false);
    }
    judgeLeftMargin = (kWindowWidth - kCardWidth * judgeCount) / 2;
    if (PaneSpacerItem* margin = find<PaneSpacerItem>(QStringLiteral("JudgeLeftMargin")))
        margin->setSpacerWidth(judgeLeftMargin);
    for (int i = 0; i < judgeCount && i < static_cast<int>(cards.size()); ++i) {
        if (cards[i]->background)
            cards[i]->background->setVisible(true);
    }
}

void JudgeVoteWin::showVote(quorix::VoteInfo voteRecord)
{
    judges.clear();
    for (const auto& [position, uid] : voteRecord.judgeOrder) {
        const auto entry = voteRecord.judges.find(uid);
        quorix::JudgeInfo judge = entry == voteRecord.judges.end() ? quorix::JudgeInfo{} : entry->second;
        judge.uid = uid;
        judges.push_back(judge);
    }
    layOutCards(static_cast<int>(judges.size()));
    // Only the card of this vote's judges may take the viewer's score.
    for (JudgeCard* card : cards)
        card->uid = 0;
    quint32 viewer = 0;
    const bool viewerKnown = viewerUid(&viewer);
    for (std::size_t j = 0; j < judges.size() && j < cards.size(); ++j)
        showJudge(static_cast<int>(j), judges[j], viewerKnown && judges[j].uid == viewer);
    if (totalPoint)
        totalPoint->setText(QString::number(total));
    if (PaneLabelWidget* title = find<PaneLabelWidget>(QStringLiteral("title")))
        title->setText(QStringLiteral("%1  总分：").arg(QString::fromStdString(voteRecord.name)));
    total = 0;
}

void JudgeVoteWin::showJudge(int position, const quorix::JudgeInfo& judge, bool isViewer)
{
    JudgeCard* card = cards[position];
    total += judge.points;
    if (card->name)
        card->name->setText(QString::fromStdString(judge.nick));
    showCardScore(card, judge.points);
    if (!isViewer)
        return;
    card->uid = judge.uid;
    if (scoreSent && judge.points == 0) {
        placePopupUnder(position);
        return;
    }
    if (!popupPlaced) {
        placePopupUnder(position);
        popupPlaced = true;
    }
    if (judge.points != 0)
        hidePopup();
}

void JudgeVoteWin::showCardScore(JudgeCard* card, quint32 points)
{
    const bool scored = points != 0;
    if (card->score)
        card->score->setText(scored ? QString::number(points) : QString());
    if (card->status)
        card->status->setText(scored ? QString() : QString::fromUtf8(kScoring));
    if (card->scoreImage)
        card->scoreImage->setImagePath(scored ? image(QString::number(points) + QStringLiteral("point.png"))
                                              : QString());
    if (card->background)
        card->background->setImagePath(
            image(scored ? QStringLiteral("Judged.png") : QStringLiteral("JudgingBg.png")));
}

bool JudgeVoteWin::viewerUid(quint32* uid) const
{
    EntUserInterface* user = QuorixApp::instance()->getUserInterface();
    if (user == nullptr)
        return false;
    *uid = user->getCurrentUserUid();
    return true;
}

void JudgeVoteWin::placePopupUnder(int position)
{
    if (PaneSpacerItem* spacer = find<PaneSpacerItem>(QStringLiteral("setJudgePointPos")))
        spacer->setSpacerWidth(kCardWidth * position + judgeLeftMargin - kPopupOffset);
    if (PaneWidget* popup = find<PaneWidget>(QStringLiteral("PointWin")))
        popup->setVisible(true);
    if (PaneWidget* list = find<PaneWidget>(QStringLiteral("pointList")))
        list->setVisible(false);
}

void JudgeVoteWin::hidePopup()
{
    if (PaneWidget* popup = find<PaneWidget>(QStringLiteral("PointWin")))
        popup->setVisible(false);
    if (PaneSpacerItem* spacer = find<PaneSpacerItem>(QStringLiteral("setJudgePointPos")))
        spacer->setSpacerWidth(kPopupHiddenOffset);
}

void JudgeVoteWin::onHoverEnter(QPointF)
{
    if (PaneWidget* list = find<PaneWidget>(QStringLiteral("pointList")))
        list->setVisible(true);
}

void JudgeVoteWin::onLeaved()
{
    if (PaneWidget* list = find<PaneWidget>(QStringLiteral("pointList")))
        list->setVisible(false);
}

void JudgeVoteWin::onSelectHoverEnter(QPointF)
{
    if (scoreSelected)
        return;
    if (QObject* hovered = sender())
        highlightScoreRow(hovered->objectName());
}

void JudgeVoteWin::onSelectPoint()
{
    auto* button = qobject_cast<PanePushButton*>(sender());
    if (button == nullptr)
        return;
    const int points = button->objectName().toInt();
    if (points < 1 || points > 5)
        return;
    selectedPoint = points;
    scoreSelected = true;
    highlightScoreRow(button->objectName());
    setPointButtonImages("sure_but");
}

// The image row named like the score gets the highlight; the other rows none.
void JudgeVoteWin::highlightScoreRow(const QString& name)
{
    for (const char* rowName : kScoreNames) {
        PaneImageWidget* row = find<PaneImageWidget>(QString::fromUtf8(rowName));
        if (row != nullptr)
            row->setImagePath(name == QLatin1String(rowName) ? image(QStringLiteral("vote-hover.png"))
                                                             : QString());
    }
}

void JudgeVoteWin::setPointButtonImages(const char* prefix)
{
    PanePushButton* point = find<PanePushButton>(QStringLiteral("pointBtn"));
    if (point == nullptr)
        return;
    const QString base = QString::fromUtf8(prefix);
    point->setImagePath(image(base + "01.png") + "|" + image(base + "02.png") + "|" + image(base + "03.png") +
                        "||");
}

void JudgeVoteWin::onJudgePointClick()
{
    if (!scoreSelected) {
        PaneMessageBox::warningAsync(m_window, QStringLiteral("投票提示"), QStringLiteral("请选择要打的分数"),
                                     QMessageBox::Ok, QMessageBox::NoButton, nullptr, nullptr);
        return;
    }
    const quint32 points = static_cast<quint32>(selectedPoint);
    if (controller)
        controller->reqJudgeScore(points);
    scoreSelected = false;
    scoreSent = true;
    quint32 viewer = 0;
    if (viewerUid(&viewer)) {
        for (JudgeCard* card : cards) {
            if (card->uid == viewer)
                showCardScore(card, points);
        }
    }
    hidePopup();
    setPointButtonImages("judge_but");
    highlightScoreRow(QString());
    selectedPoint = 0;
}

void JudgeVoteWin::startCountdown(qint32 seconds)
{
    if (seconds <= 0)
        return;
    m_countdown.setRemaining(seconds);
    if (m_countdown.isRunning())
        return;
    m_countdown.run();
    showRunningState(true);
}

// The footer of a running vote (time left, the call to score) or of an ended one (the record
// button).
void JudgeVoteWin::showRunningState(bool running)
{
    if (timerLabel) {
        timerLabel->setFixWidth(running ? 40 : 80);
        timerLabel->setFont(font("Arial", 11, running ? QFont::Bold : QFont::Normal));
        // The time left from the first moment, not "00:00" until the first tick a second later.
        timerLabel->setText(running ? m_countdown.text() : QStringLiteral("投票已结束"));
    }
    if (PanePushButton* record = find<PanePushButton>(QStringLiteral("VoteRecord"))) {
        record->setText(running ? QString() : QStringLiteral("投票记录"));
        record->setVisible(!running);
    }
    if (PaneLabelWidget* mark = find<PaneLabelWidget>(QStringLiteral("timerMark"))) {
        mark->setFixWidth(running ? 180 : 0);
        mark->setText(running ? QStringLiteral("后结束投票，请评委打分。") : QString());
    }
}

// Ends the vote for this viewer: judges without points abstained, and the score pop-up goes
// away so no score can be sent for a vote that is over.
void JudgeVoteWin::stopVote()
{
    total = 0;
    popupPlaced = false;
    scoreSelected = false;
    scoreSent = false;
    m_countdown.stop();
    if (!m_window)
        return;
    showRunningState(false);
    for (JudgeCard* card : cards) {
        if (card->status && card->status->text() == QString::fromUtf8(kScoring))
            card->status->setText(QString::fromUtf8(kAbstained));
    }
    hidePopup();
    setPointButtonImages("judge_but");
    highlightScoreRow(QString());
    selectedPoint = 0;
}

void JudgeVoteWin::hideAndClear()
{
    if (m_window)
        m_window->hide();
}

void JudgeVoteWin::onJudgeWinClose()
{
    if (m_window)
        m_window->showMinimized();
}

void JudgeVoteWin::onVoteRecordClick()
{
    openHistory();
}
