#include "voteservice/web/ssechannel.h"

#include "voteservice/web/securityheaders.h"

namespace quorix::service {

namespace asio = boost::asio;
namespace beast = boost::beast;

namespace {
std::string headerOf(bool tls)
{
    return "HTTP/1.1 200 OK\r\n"
           "Server: quorix-voted\r\n"
           "Content-Type: text/event-stream\r\n"
           "Cache-Control: no-store\r\n"
           "Connection: close\r\n" +
           SecurityHeaders::lines(tls) + "\r\n";
}
} // namespace

SseChannel::SseChannel(WebStream stream, const WebLimits& limits, ServiceMetrics* metrics)
    : m_stream(std::move(stream)), m_keepAlive(m_stream.get_executor()), m_queue(limits.maxQueuedBytes),
      m_metrics(metrics)
{}

void SseChannel::start(std::shared_ptr<void> owner, Request, std::function<void()> onOpen, TextHandler,
                       EndHandler onEnd)
{
    m_owner = std::move(owner);
    m_onEnd = std::move(onEnd);
    m_stream.expires_never();
    m_queue.push(std::make_shared<const std::string>(headerOf(m_stream.isTls())));
    onOpen();
    writeNext();
    watchPeer();
    scheduleKeepAlive();
}

// Every pending operation holds the owner, which keeps this channel alive until its handler ran;
// after end() has dropped the owner (onOpen may end the channel), nothing new starts.
void SseChannel::watchPeer()
{
    if (m_ended)
        return;
    m_stream.async_read_some(asio::buffer(m_discard),
                             [this, keep = m_owner](const beast::error_code& ec, std::size_t) {
                                 if (ec)
                                     return end();
                                 watchPeer();
                             });
}

void SseChannel::scheduleKeepAlive()
{
    if (m_ended)
        return;
    m_keepAlive.expires_after(kKeepAliveInterval);
    m_keepAlive.async_wait([this, keep = m_owner](const beast::error_code& ec) {
        if (ec || m_ended)
            return;
        // One text for every stream.
        static const SharedText keepAlive = std::make_shared<const std::string>(": keep-alive\n\n");
        send(keepAlive, {});
        scheduleKeepAlive();
    });
}

// An event stream carries no answers: nothing it sends is held.
void SseChannel::send(SharedText message, std::chrono::milliseconds)
{
    if (m_ended)
        return;
    if (!m_queue.push(std::move(message))) {
        if (m_metrics)
            m_metrics->outputQueueCut();
        return close(0);
    }
    writeNext();
}

void SseChannel::writeNext()
{
    if (m_ended)
        return;
    // One message per write: a batch of one.
    if (!m_queue.startBatch(1, 0)) {
        if (m_finishing && !m_queue.writing())
            close(0);
        return;
    }
    asio::async_write(m_stream, asio::buffer(m_queue.batchFront()),
                      [this, keep = m_owner](const beast::error_code& ec, std::size_t sent) {
                          m_queue.writeDone(!ec && !m_ended);
                          if (m_metrics)
                              m_metrics->bytesSent(Transport::Sse, sent);
                          if (ec || m_ended)
                              return end();
                          writeNext();
                      });
}

void SseChannel::finish(std::uint16_t)
{
    m_finishing = true;
    writeNext();
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

void SseChannel::end()
{
    if (m_ended)
        return;
    m_ended = true;
    m_keepAlive.cancel();
    m_queue.dropWaiting();
    if (auto onEnd = std::move(m_onEnd)) {
        m_onEnd = nullptr;
        onEnd();
    }
    m_owner.reset();
}

} // namespace quorix::service
