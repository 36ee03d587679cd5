#pragma once

// The seconds left of the running vote, ticking once a second while running. The window that
// holds it connects the tick to its own slot and decides what a new start does to a running
// countdown.

#include <QString>
#include <QTimer>

class Countdown
{
public:
    template <class Receiver> void onTick(Receiver* receiver, void (Receiver::*slot)())
    {
        QObject::connect(&m_timer, &QTimer::timeout, receiver, slot, Qt::UniqueConnection);
    }

    bool isRunning() const { return m_timer.isActive(); }
    qint32 remaining() const { return m_remaining; }
    void setRemaining(qint32 seconds) { m_remaining = seconds; }
    void run();
    void stop() { m_timer.stop(); }
    // One second less; at zero the countdown stops and true is returned.
    bool tick();
    // "mm:ss" of the time left, at least two digits each; minutes are not capped.
    QString text() const;

private:
    QTimer m_timer;
    qint32 m_remaining = 0;
};
