#include "ssechannel.h"

namespace quorix::service {

namespace asio = boost::asio;
namespace beast = boost::beast;

namespace {
constexpr const char* kHeader = "HTTP/1.1 200 OK\r\n"
                                "Server: quorix-voted\r\n"
                                "Content-Type: text/event-stream\r\n"
                                "Cache-Control: no-store\r\n"
                                "Connection: close\r\n"
                                "\r\n";
}

SseChannel::SseChannel(beast::tcp_stream stream, const WebLimits& limits)
    : m_stream(std::move(stream)), m_keepAlive(m_stream.get_executor()),
      m_maxQueuedBytes(limits.maxQueuedBytes)
{}

void SseChannel::start(std::shared_ptr<void> owner, Request, std::function<void()> onOpen, TextHandler,
                       EndHandler onEnd)
{
    m_owner = std::move(owner);
    m_onEnd = std::move(onEnd);
    m_stream.expires_never();
    m_queue.emplace_back(kHeader);
    m_queuedBytes = m_queue.back().size();
    onOpen();
    writeNext();
    watchPeer();
    scheduleKeepAlive();
}

void SseChannel::watchPeer()
{
    m_stream.async_read_some(asio::buffer(m_discard),
                             [this, keep = m_owner](const beast::error_code& ec, std::size_t) {
                                 if (ec)
                                     return end();
                                 watchPeer();
                             });
}

void SseChannel::scheduleKeepAlive()
{
    m_keepAlive.expires_after(kKeepAliveInterval);
    m_keepAlive.async_wait([this, keep = m_owner](const beast::error_code& ec) {
        if (ec || m_ended)
            return;
        send(": keep-alive\n\n");
        scheduleKeepAlive();
    });
}

void SseChannel::send(std::string message)
{
    if (m_ended)
        return;
    m_queuedBytes += message.size();
    m_queue.push_back(std::move(message));
    if (m_queuedBytes > m_maxQueuedBytes)
        return close(0);
    writeNext();
}

void SseChannel::writeNext()
{
    if (m_writing || m_queue.empty() || m_ended)
        return;
    m_writing = true;
    asio::async_write(m_stream, asio::buffer(m_queue.front()),
                      [this, keep = m_owner](const beast::error_code& ec, std::size_t) {
                          m_writing = false;
                          if (ec || m_ended)
                              return end();
                          m_queuedBytes -= m_queue.front().size();
                          m_queue.pop_front();
                          writeNext();
                      });
}

void SseChannel::abort()
{
    close(0);
}

void SseChannel::close(std::uint16_t)
{
    if (m_ended)
        return;
    boost::system::error_code ec;
    m_stream.socket().shutdown(asio::ip::tcp::socket::shutdown_both, ec);
    m_stream.close();
    end();
}

void SseChannel::dropQueued()
{
    // A message being written stays until its write completes: the write still reads it.
    const std::size_t keep = m_writing && !m_queue.empty() ? 1 : 0;
    m_queue.erase(m_queue.begin() + static_cast<std::ptrdiff_t>(keep), m_queue.end());
    m_queuedBytes = keep ? m_queue.front().size() : 0;
}

void SseChannel::end()
{
    if (m_ended)
        return;
    m_ended = true;
    m_keepAlive.cancel();
    dropQueued();
    if (auto onEnd = std::move(m_onEnd)) {
        m_onEnd = nullptr;
        onEnd();
    }
    m_owner.reset();
}

} // namespace quorix::service
