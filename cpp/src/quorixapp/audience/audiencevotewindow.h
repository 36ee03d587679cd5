#pragma once

// What the controller asks of the window every viewer sees while a vote runs, whatever its kind:
// show the vote, count down, end it, raise or minimise the window and clear it away. A kind in
// which viewers spend tickets (TicketedVoteWindow) also keeps their ticket allowance; the other
// kinds ignore the ticket calls. Each window is created once by the application root (no
// parent), builds its frame window at init and owns it.

#include "countdown.h"

#include <quorix/protocol/voterecords.h>
#include "panesyscommandrequest.h"

#include <QObject>

class PaneFrameWindow;
class QuorixController;

class AudienceVoteWindow : public QObject
{
    Q_OBJECT
public:
    ~AudienceVoteWindow() override;

    virtual void init(QuorixController* controller) = 0;
    virtual PaneFrameWindow* frameWindow() const = 0;
    virtual void showVote(quorix::VoteInfo voteRecord) = 0;
    // A zero or negative remaining time starts nothing: a countdown below zero would never end.
    virtual void startCountdown(qint32 remainSeconds) = 0;
    // The ended state does not depend on a countdown having run.
    virtual void stopVote() = 0;
    // Hides the window; the shown counts are cleared where the kind shows counts.
    virtual void hideAndClear() = 0;
    virtual void minimise() = 0;
    // Shows a hidden window on top; a visible one is left alone.
    void showOnTop();
    void flashTaskbar();

    virtual bool takesTickets() const { return false; }
    // As showVote, but every count is the service's, also below a "+1" counted at once for a
    // ticket the service then refused.
    virtual void showCountedVote(const quorix::VoteInfo& voteRecord) { Q_UNUSED(voteRecord); }
    virtual void setOptionLimit(quorix::UserTicketInfo ticketInfo) { Q_UNUSED(ticketInfo); }
    virtual void resetTicketLimits(quorix::VoteInfo voteRecord) { Q_UNUSED(voteRecord); }
    virtual bool isOptionLimitSet() const { return false; }
    virtual void clearOptionLimitFlag() {}
    // The service link came back: clicks counted at once may never have reached the service, so
    // the next vote record's counts replace the shown ones even where lower, and the ticket state
    // has to be asked again (isOptionLimitSet is false).
    virtual void expectServiceNumbers() {}

    qint32 remainingSeconds() const { return m_countdown.remaining(); }
    bool isCountdownRunning() const { return m_countdown.isRunning(); }

public slots:
    void onSysCommand(PaneSysCommandRequest* request);

protected:
    Countdown m_countdown;
};
