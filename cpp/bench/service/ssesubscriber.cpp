#include "ssesubscriber.h"

#include "loadrun.h"

#include <nlohmann/json.hpp>

#include <optional>

namespace quorix::loadgen {

namespace {
// The tickets of a vote.end event's final counts; nullopt when its data does not say.
std::optional<std::uint64_t> finalTotal(const std::string& data)
{
    const auto event = nlohmann::json::parse(data, nullptr, false);
    if (event.is_discarded() || !event.contains("vote") || !event["vote"].contains("optionTickets"))
        return std::nullopt;
    std::uint64_t total = 0;
    for (const auto& [option, count] : event["vote"]["optionTickets"].items())
        total += count.get<std::uint64_t>();
    return total;
}
} // namespace

SseSubscriber::SseSubscriber(asio::io_context& io, LoadRun& run, std::size_t index)
    : m_socket(io), m_run(run), m_index(index)
{}

void SseSubscriber::connect(const asio::ip::tcp::endpoint& endpoint, const std::string& target)
{
    m_request = "GET " + target + " HTTP/1.1\r\nHost: " + endpoint.address().to_string() + ":" +
                std::to_string(endpoint.port()) + "\r\nAccept: text/event-stream\r\n\r\n";
    m_socket.async_connect(endpoint, [self = shared_from_this()](const boost::system::error_code& ec) {
        if (ec)
            return self->m_run.onSubscriberFailed(*self, "connect: " + ec.message());
        asio::async_write(self->m_socket, asio::buffer(self->m_request),
                          [self](const boost::system::error_code& error, std::size_t) {
                              if (error)
                                  return self->m_run.onSubscriberFailed(*self, "write: " + error.message());
                              self->readMore();
                          });
    });
}

void SseSubscriber::readMore()
{
    m_socket.async_read_some(asio::buffer(m_chunk),
                             [self = shared_from_this()](const boost::system::error_code& ec, std::size_t n) {
                                 if (ec)
                                     return self->m_run.onSubscriberFailed(*self, "closed: " + ec.message());
                                 self->m_buffer.append(self->m_chunk.data(), n);
                                 if (self->consume())
                                     self->readMore();
                             });
}

bool SseSubscriber::consume()
{
    if (!m_headerRead) {
        const std::size_t end = m_buffer.find("\r\n\r\n");
        if (end == std::string::npos)
            return true;
        if (m_buffer.compare(0, 12, "HTTP/1.1 200") != 0) {
            m_run.onSubscriberFailed(*this, "refused: " + m_buffer.substr(0, m_buffer.find("\r\n")));
            return false;
        }
        m_headerRead = true;
        m_buffer.erase(0, end + 4);
    }
    std::size_t end;
    while ((end = m_buffer.find("\n\n")) != std::string::npos) {
        std::string type, data;
        std::size_t from = 0;
        while (from < end) {
            const std::size_t lineEnd = m_buffer.find('\n', from);
            const std::string line = m_buffer.substr(from, lineEnd - from);
            if (line.rfind("event: ", 0) == 0)
                type = line.substr(7);
            else if (line.rfind("data: ", 0) == 0)
                data = line.substr(6);
            from = lineEnd + 1;
        }
        m_buffer.erase(0, end + 2);
        if (!type.empty())
            onEvent(type, data);
    }
    return true;
}

void SseSubscriber::onEvent(const std::string& type, const std::string& data)
{
    ++m_events;
    if (type == "snapshot")
        m_run.onSubscribed(*this);
    else if (type == "vote.end")
        m_run.onSubscriberSawEnd(*this, finalTotal(data));
}

void SseSubscriber::close()
{
    boost::system::error_code ec;
    m_socket.close(ec);
}

} // namespace quorix::loadgen
