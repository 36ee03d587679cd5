#pragma once

// One events WebSocket subscriber of the load generator: connects to the web face, subscribes to
// the load's sub-channel and counts the events it reads. Single-threaded on the run's io_context.

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quorix::loadgen {

class LoadSubscriber : public std::enable_shared_from_this<LoadSubscriber>
{
public:
    // onFirst once the snapshot arrived; onFailed when the subscription could not be made or ended.
    LoadSubscriber(boost::asio::io_context& io, std::string target, std::function<void()> onFirst,
                   std::function<void(const std::string&)> onFailed);

    void connect(const boost::asio::ip::tcp::endpoint& endpoint);
    void close();
    std::uint64_t events() const { return m_events; }

private:
    void read();

    boost::beast::websocket::stream<boost::asio::ip::tcp::socket> m_socket;
    boost::beast::flat_buffer m_buffer;
    std::string m_target;
    std::function<void()> m_onFirst;
    std::function<void(const std::string&)> m_onFailed;
    std::uint64_t m_events = 0;
    bool m_closed = false;
};

} // namespace quorix::loadgen
