#pragma once

// One WebSocket client of the load generator's web face: an events subscriber or a /session viewer
// of the load's sub-channel, counting the messages it reads; a viewer may vote and hand each message
// to the run. Single-threaded on the run's io_context.

#include "bench/service/voterstate.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace quorix::loadgen {

class LoadSubscriber : public std::enable_shared_from_this<LoadSubscriber>
{
public:
    // onFirst once the first message arrived (an events snapshot), or once upgraded when
    // readyOnUpgrade (a viewer, sent nothing before a vote runs); onFailed when the connection could
    // not be made or ended.
    LoadSubscriber(boost::asio::io_context& io, std::string target, bool readyOnUpgrade,
                   std::function<void()> onFirst, std::function<void(const std::string&)> onFailed);

    void connect(const boost::asio::ip::tcp::endpoint& endpoint);
    void close();
    std::uint64_t events() const { return m_events; }
    // Every message read from now on goes to onText as well.
    void onText(std::function<void(LoadSubscriber&, const std::string&)> onText)
    {
        m_onText = std::move(onText);
    }
    // Queues a text message (one write at a time).
    void sendText(std::string text);

    std::size_t index = 0; // among the run's web clients
    VoterState voter;

private:
    void read();
    void writeNext();

    boost::beast::websocket::stream<boost::asio::ip::tcp::socket> m_socket;
    boost::beast::flat_buffer m_buffer;
    std::string m_target;
    std::function<void()> m_onFirst;
    std::function<void(const std::string&)> m_onFailed;
    std::function<void(LoadSubscriber&, const std::string&)> m_onText;
    std::deque<std::string> m_out;
    bool m_writing = false;
    std::uint64_t m_events = 0;
    bool m_readyOnUpgrade;
    bool m_closed = false;
};

} // namespace quorix::loadgen
