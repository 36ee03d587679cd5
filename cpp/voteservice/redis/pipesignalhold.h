#pragma once

#include <pthread.h>
#include <signal.h>

#include <ctime>

namespace quorix::service {

// OpenSSL writes with write(), which raises SIGPIPE on a connection Redis has closed (also within
// SSL_read and SSL_connect, which send an alert when they fail). While one of
// these lives, SIGPIPE is held back on this thread, and one raised meanwhile is discarded: the write
// fails with EPIPE instead of ending the process.
class PipeSignalHold
{
public:
    PipeSignalHold()
    {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        m_wasPending = isPending();
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_before);
    }
    ~PipeSignalHold()
    {
        if (!m_wasPending && isPending()) {
            const timespec none{0, 0};
            sigtimedwait(&m_pipe, nullptr, &none);
        }
        pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
    }
    PipeSignalHold(const PipeSignalHold&) = delete;
    PipeSignalHold& operator=(const PipeSignalHold&) = delete;

private:
    static bool isPending()
    {
        sigset_t pending;
        sigpending(&pending);
        return sigismember(&pending, SIGPIPE) == 1;
    }

    sigset_t m_pipe;
    sigset_t m_before;
    bool m_wasPending = false;
};

} // namespace quorix::service
