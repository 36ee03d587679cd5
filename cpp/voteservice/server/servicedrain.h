#pragma once

// quorix-voted's stop on SIGTERM or SIGINT: the web face and the server drain (docs/vote-service.md,
// "Stop and drain"), and once every connection has ended, or the drain timeout has passed and the
// rest are cut, both stop and the io_context runs out of work. The log says how long it took, or how
// many connections the timeout cut.

#include "voteservice/web/httplistener.h"
#include "voteservice/server/voteserver.h"

#include <boost/asio.hpp>

#include <chrono>
#include <functional>
#include <string>

namespace quorix::service {

class ServiceDrain
{
public:
    // web may be null (no --http). onStopped: once both have stopped, for the owner to drop what
    // else keeps the io_context running (the signal wait).
    ServiceDrain(boost::asio::io_context& io, VoteServer& server, HttpListener* web,
                 std::chrono::seconds timeout, std::function<void()> onStopped);

    void start();
    // Ends the drain now, cutting what is still open; `why` goes into the log line.
    void cut(const std::string& why);

private:
    bool over() const;
    // Connections still open: host connections and web connections (a web session is one).
    std::size_t openConnections() const;
    void watch();
    void stopAll();

    VoteServer& m_server;
    HttpListener* m_web;
    std::chrono::seconds m_timeout;
    std::function<void()> m_onStopped;
    boost::asio::steady_timer m_poll;
    boost::asio::steady_timer m_deadline;
    std::chrono::steady_clock::time_point m_started;
    bool m_running = false;
};

} // namespace quorix::service
