#pragma once

// The window of a judge vote: one card per judge (name, a scoring mark or the points given) and
// the running total. A viewer who is one of the judges also gets a score pop-up under their own
// card: hovering its button lists the five scores, a click selects one and a second click on the
// button (now a confirm button) sends it through the controller.

#include "src/quorixapp/audience/audiencevotewindow.h"

#include <QPointF>
#include <QPointer>
#include <QString>

#include <vector>

class PaneImageWidget;
class PaneLabelWidget;

class JudgeVoteWin : public AudienceVoteWindow
{
    Q_OBJECT
public:
    JudgeVoteWin();
    ~JudgeVoteWin() override;

    void showVote(quorix::VoteInfo voteRecord) override;
    // A new time while the countdown runs replaces the time left; at zero the vote ends here.
    void startCountdown(qint32 remainSeconds) override;
    void stopVote() override;
    // Judges' cards show no counts of their own: the window is only hidden.
    void hideAndClear() override;
    void minimise() override { onJudgeWinClose(); }

    // Read-only views for tests.
    int leftMargin() const { return judgeLeftMargin; }
    int selectedScore() const { return selectedPoint; }
    bool isScoreSent() const { return scoreSent; }

public slots:
    void onJudgeWinClose();
    void onJudgePointClick();
    void onVoteRecordClick();
    void onSelectPoint();
    void onHoverEnter(QPointF pos);
    void onLeaved();
    void onSelectHoverEnter(QPointF pos);

private:
    struct JudgeCard
    {
        quint32 uid = 0;
        QPointer<PaneImageWidget> background;
        QPointer<PaneImageWidget> scoreImage;
        QPointer<PaneLabelWidget> status;
        QPointer<PaneLabelWidget> score;
        QPointer<PaneLabelWidget> name;
    };

    void setUpWindow() override;
    void setUpLabels();
    void setUpButtons();
    void buildCards();
    void layOutCards(int judgeCount);
    void showJudge(int position, const quorix::JudgeInfo& judge, bool isViewer);
    void placePopupUnder(int position);
    void hidePopup();
    void highlightScoreRow(const QString& name);
    void setPointButtonImages(const char* prefix);
    void showCardScore(JudgeCard* card, quint32 points);
    void showRunningState(bool running);
    void countdownEnded() override { stopVote(); }
    bool viewerUid(quint32* uid) const;

    QPointer<PaneLabelWidget> totalPoint;
    QPointer<PaneLabelWidget> timerLabel;
    qint32 selectedPoint = 0;
    int judgeLeftMargin = 20;
    std::vector<JudgeCard*> cards;
    std::vector<quorix::JudgeInfo> judges;
    quint32 total = 0;
    bool popupPlaced = false;
    bool scoreSelected = false;
    bool scoreSent = false;
};
