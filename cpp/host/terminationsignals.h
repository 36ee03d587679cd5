#pragma once

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal delivered on the event loop, so that a host
// stopped by its session manager or a terminal unloads the add-on and closes its service
// connection the same way as when its window is closed. One instance per process.

#include <QObject>

class QSocketNotifier;

class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // False when the signals could not be taken over (they then keep their default action).
    bool isInstalled() const { return m_notifier != nullptr; }

signals:
    void received(int signalNumber);

private:
    void readPending();

    QSocketNotifier* m_notifier = nullptr;
};
