#pragma once

// What the controller asks of the window every viewer sees while a vote runs, whatever its kind:
// show the vote, count down, end it, raise or minimise the window and clear it away. A kind in
// which viewers spend tickets (TicketedVoteWindow) also keeps their ticket allowance; the other
// kinds ignore the ticket calls. Each window is created once by the application root (no
// parent); init builds its frame window from the kind's layout through the host's UI creator
// (frameless, translucent, hidden), and the window owns it.

#include "src/quorixapp/audience/countdown.h"

#include <quorix/protocol/voterecords.h>
#include "panefind.h"
#include "paneframewindow.h"
#include "panesyscommandrequest.h"

#include <QFont>
#include <QObject>
#include <QPointer>

class QuorixController;

class AudienceVoteWindow : public QObject
{
    Q_OBJECT
public:
    ~AudienceVoteWindow() override;

    // Builds the frame window on the first call; the window's requests go to `controller`.
    void init(QuorixController* controller);
    PaneFrameWindow* frameWindow() const { return m_window; }
    virtual void showVote(quorix::VoteInfo voteRecord) = 0;
    // A zero or negative remaining time starts nothing: a countdown below zero would never end.
    virtual void startCountdown(qint32 remainSeconds) = 0;
    // The ended state does not depend on a countdown having run.
    virtual void stopVote() = 0;
    // Hides the window; the shown counts are cleared where the kind shows counts.
    virtual void hideAndClear() = 0;
    virtual void minimise() = 0;
    // Shows a hidden window, activates it and keeps it on top; a visible one is left alone.
    void showOnTop();
    // Flashes the window's taskbar button four times.
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
    // One second of the countdown: the timer label shows the time left.
    void onTimerCount();
    // Type 0 (close) is rejected; type 2 (restore) re-applies the frameless flags and raises the
    // window.
    void onSysCommand(PaneSysCommandRequest* request);

protected:
    // The countdown shows in the label named `timerLabelName`.
    AudienceVoteWindow(const char* layoutPath, const QString& title, const char* timerLabelName);
    // Sets up the widgets of the frame window init built.
    virtual void setUpWindow() = 0;
    // The countdown reached zero; the service still ends the vote unless the kind ends it here.
    virtual void countdownEnded() {}
    template <class T> T* find(const QString& name) const
    {
        return m_window ? panefw::findChild<T>(m_window.data(), name) : nullptr;
    }
    // An image of the add-on's theme.
    static QString image(const QString& file);
    static QFont font(const char* family, int pointSize, int weight = -1);
    // The vote history, asked for by the window's record button.
    void openHistory();

    QPointer<QuorixController> controller;
    QPointer<PaneFrameWindow> m_window;
    Countdown m_countdown;

private:
    const char* const m_layoutPath;
    const QString m_title;
    const char* const m_timerLabelName;
};
