#pragma once

#include "codec/voterecords.h"

#include <QObject>
#include <QPointer>

class QuorixController;

class NormalVoteWin : public QObject
{
    Q_OBJECT
public:
    NormalVoteWin();
    ~NormalVoteWin() override;

    void init(QuorixController* controller);
    void showVote(quorix::VoteInfo voteRecord);
    void startCountdown(qint32 remainSeconds);
    void stopVote();
    void showOnTop();
    void flashTaskbar();
    void setOptionLimit(quorix::UserTicketInfo ticketInfo);
    void resetTicketLimits(quorix::VoteInfo voteRecord);
    bool isOptionLimitSet() const;
    void clearOptionLimitFlag();
    void hideAndClear();

public slots:
    void onBtnClose();
};
