#pragma once

// A timing scope: logs the scope's name and the time it took when it ends. Wrap factory calls
// and other work worth measuring in one. Level 3 unless the time exceeds the slow threshold,
// then level 2.

#include <QElapsedTimer>

class CPerfLogProxy
{
public:
    explicit CPerfLogProxy(const char* scopeName, qint64 slowThresholdMs = 50);
    ~CPerfLogProxy();
    CPerfLogProxy(const CPerfLogProxy&) = delete;
    CPerfLogProxy& operator=(const CPerfLogProxy&) = delete;

    qint64 elapsedMs() const { return m_timer.elapsed(); }

private:
    const char* m_name;
    qint64 m_slowThresholdMs;
    QElapsedTimer m_timer;
};
