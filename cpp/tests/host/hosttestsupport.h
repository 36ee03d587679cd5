#pragma once

// Shared by the host tests: one QApplication for the test program, and waiting on the event loop.

#include <QApplication>
#include <QElapsedTimer>

#include <functional>

inline QApplication* hostTestApp()
{
    static int argc = 1;
    static char name[] = "hosttest";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return app;
}

// Runs the event loop until `done` holds or `timeoutMs` passed; returns whether `done` held.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
