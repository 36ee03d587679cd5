#pragma once

// One web subscriber of the load generator: GET /api/v1/channels/C/events with
// Accept: text/event-stream on a plain socket, then the events as they come. Reports the first
// event (the snapshot) and the vote's end, with the tickets its final counts add up to, to its
// LoadRun; single-threaded on the run's io_context.

#include <boost/asio.hpp>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace quorix::loadgen {

namespace asio = boost::asio;

class LoadRun;

class SseSubscriber : public std::enable_shared_from_this<SseSubscriber>
{
public:
    SseSubscriber(asio::io_context& io, LoadRun& run, std::size_t index);

    // target: the request target, query included.
    void connect(const asio::ip::tcp::endpoint& endpoint, const std::string& target);
    void close();

    std::size_t index() const { return m_index; }
    std::uint64_t events() const { return m_events; }

private:
    void readMore();
    // Takes the complete events out of the buffer (after the response header).
    bool consume();
    void onEvent(const std::string& type, const std::string& data);

    asio::ip::tcp::socket m_socket;
    LoadRun& m_run;
    std::size_t m_index;
    std::string m_request;
    std::array<char, 16 * 1024> m_chunk{};
    std::string m_buffer;
    bool m_headerRead = false;
    std::uint64_t m_events = 0;
};

} // namespace quorix::loadgen
