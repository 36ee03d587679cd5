#pragma once

// A listening TCP socket that hands every accepted connection to its owner until stopped. A failed
// accept (out of descriptors and the like) is logged and retried a little later instead of spinning.
// Shared by the host transport and the web face.

#include <boost/asio.hpp>

#include <cstdint>
#include <functional>
#include <string>

namespace quorix::service {

class TcpAcceptLoop
{
public:
    using Handler = std::function<void(boost::asio::ip::tcp::socket)>;

    // `name` names the listener in its messages ("HTTP"), empty for the host transport.
    TcpAcceptLoop(boost::asio::io_context& io, std::string name);

    // Binds and starts accepting; false with a message when the address cannot be used.
    bool listen(const std::string& host, std::uint16_t port, Handler onAccepted, std::string& error);
    std::uint16_t port() const;
    void stop();

private:
    void acceptNext();

    std::string m_name;
    boost::asio::ip::tcp::acceptor m_acceptor;
    boost::asio::steady_timer m_retryTimer;
    Handler m_onAccepted;
    bool m_stopped = false;
};

} // namespace quorix::service
