#pragma once

#include "codec/voterecords.h"

#include <QObject>
#include <QPointer>

class QuorixController;

class JudgeVoteWin : public QObject
{
    Q_OBJECT
public:
    JudgeVoteWin();
    ~JudgeVoteWin() override;

    void init(QuorixController* controller);
    void showVote(quorix::VoteInfo voteRecord);
    void startCountdown(qint32 remainSeconds);
    void stopVote();
    void showOnTop();
    void flashTaskbar();
    void hide();

public slots:
    void onJudgeWinClose();
};
