#include "voteservice/web/websocketchannel.h"

#include "voteservice/web/securityheaders.h"

namespace quorix::service {

namespace beast = boost::beast;
namespace websocket = beast::websocket;

namespace {
// How long a finishing channel waits for the peer's answer to its close frame.
constexpr std::chrono::seconds kFinishCloseWait(1);
// Bounds of one gathered write: what the stream buffers while the batch's messages are framed.
constexpr std::size_t kMaxMessagesPerWrite = 64;
constexpr std::size_t kMaxBytesPerWrite = 64 * 1024;
} // namespace

WebSocketChannel::WebSocketChannel(WebStream stream, const WebLimits& limits, ServiceMetrics* metrics)
    : m_socket(std::move(stream)), m_queue(limits.maxQueuedBytes), m_holdTimer(m_socket.get_executor()),
      m_metrics(metrics)
{
    m_socket.read_message_max(limits.webSocketMessageBytes);
    websocket::stream_base::timeout timeout;
    timeout.handshake_timeout = limits.readTimeout;
    timeout.idle_timeout = limits.idleTimeout;
    timeout.keep_alive_pings = true;
    m_socket.set_option(timeout);
    const bool tls = m_socket.next_layer().isTls();
    m_socket.set_option(websocket::stream_base::decorator([tls](websocket::response_type& response) {
        response.set(beast::http::field::server, "quorix-voted");
        for (const auto& [name, value] : SecurityHeaders::fields(tls))
            response.set(name, value);
    }));
}

std::optional<WebResponse> WebSocketChannel::handshakeRefusal(const Request& request)
{
    // A key is the base64 text of 16 random bytes: 24 characters.
    constexpr std::size_t kKeyChars = 24;
    if (request[beast::http::field::sec_websocket_version] != "13") {
        WebResponse response = WebResponse::error(426, "WebSocket version 13 expected");
        response.headers.emplace_back("Sec-WebSocket-Version", "13");
        return response;
    }
    const auto key = request[beast::http::field::sec_websocket_key];
    if (key.empty() || key.size() > kKeyChars)
        return WebResponse::error(400, "Sec-WebSocket-Key missing or malformed");
    return std::nullopt;
}

void WebSocketChannel::start(std::shared_ptr<void> owner, Request request, std::function<void()> onOpen,
                             TextHandler onText, EndHandler onEnd)
{
    m_owner = std::move(owner);
    m_onText = std::move(onText);
    m_onEnd = std::move(onEnd);
    // The stream's own timer would end the upgraded connection; the WebSocket timeouts take over.
    beast::get_lowest_layer(m_socket).expires_never();
    // Kept until the upgrade is answered.
    m_request = std::move(request);
    m_socket.async_accept(m_request,
                          [this, keep = m_owner, onOpen = std::move(onOpen)](const beast::error_code& ec) {
                              if (ec)
                                  return end();
                              m_open = true;
                              m_socket.text(true);
                              onOpen();
                              read();
                              writeNext();
                          });
}

// Every pending operation holds the owner, which keeps this channel alive until its handler ran;
// after end() has dropped the owner (onOpen or a handler may end the channel), nothing new starts.
void WebSocketChannel::read()
{
    if (!m_owner)
        return;
    m_socket.async_read(m_readBuffer, [this, keep = m_owner](const beast::error_code& ec, std::size_t) {
        // A message over the limit: Beast has closed with 1009 (message too big) already.
        if (ec)
            return end();
        const std::string text = beast::buffers_to_string(m_readBuffer.data());
        m_readBuffer.consume(m_readBuffer.size());
        if (m_onText && !m_closing)
            m_onText(text);
        if (m_open)
            read();
    });
}

void WebSocketChannel::send(SharedText message, std::chrono::milliseconds hold)
{
    if (m_closing || m_closeQueued || !m_owner)
        return;
    if (!m_queue.push(std::move(message))) {
        if (m_metrics)
            m_metrics->outputQueueCut();
        // A client cut off for reading too slowly gets nothing more, held messages included.
        releaseHeld();
        return close(static_cast<std::uint16_t>(websocket::close_code::policy_error));
    }
    if (hold.count() > 0)
        return holdFor(hold);
    releaseHeld();
    writeNext();
}

void WebSocketChannel::holdFor(std::chrono::milliseconds hold)
{
    // A batch under way writes this message right after it; a hold under way came due first.
    if (m_queue.writing() || m_holding)
        return;
    m_holding = true;
    m_holdTimer.expires_after(hold);
    m_holdTimer.async_wait([this, keep = m_owner](const beast::error_code& ec) {
        // Cancelled, or a wake-up of a timer set again since: the later hold decides.
        if (ec || !m_holding || m_holdTimer.expiry() > std::chrono::steady_clock::now())
            return;
        m_holding = false;
        writeNext();
    });
}

void WebSocketChannel::releaseHeld()
{
    if (!m_holding)
        return;
    m_holding = false;
    m_holdTimer.cancel();
}

// One batch at a time: its messages are written one after another, the stream gathering every one
// but the last, which sends them all in one write.
void WebSocketChannel::writeNext()
{
    if (!m_open || !m_owner || m_writeInFlight || m_holding)
        return;
    if (!m_queue.writing() && !m_queue.startBatch(kMaxMessagesPerWrite, kMaxBytesPerWrite)) {
        if (m_finishCode)
            close(*m_finishCode);
        return;
    }
    m_writeInFlight = true;
    m_socket.next_layer().gatherWrites(!m_queue.lastOfBatch());
    m_socket.async_write(beast::net::buffer(m_queue.batchFront()),
                         [this, keep = m_owner](const beast::error_code& ec, std::size_t sent) {
                             m_writeInFlight = false;
                             m_queue.writeDone(!ec && !m_closing);
                             if (m_metrics)
                                 m_metrics->bytesSent(Transport::WebSocket, sent);
                             if (ec || m_closing)
                                 return end();
                             writeNext();
                         });
}

void WebSocketChannel::close(std::uint16_t code)
{
    if (m_closing)
        return;
    if (m_open && m_holding) {
        // Held messages count as sent already: they leave before the close frame.
        releaseHeld();
        m_finishCode = code;
        m_closeQueued = true;
        return writeNext();
    }
    m_queue.dropWaiting();
    if (m_open && m_queue.writing()) {
        // The close frame cannot interleave with the batch being written: it follows it.
        m_finishCode = code;
        m_closeQueued = true;
        return;
    }
    m_closing = true;
    if (!m_open) {
        beast::get_lowest_layer(m_socket).close();
        return end();
    }
    m_socket.next_layer().gatherWrites(false);
    m_socket.async_close(websocket::close_reason(static_cast<websocket::close_code>(code)),
                         [this, keep = m_owner](const beast::error_code&) { end(); });
}

void WebSocketChannel::finish(std::uint16_t code)
{
    if (m_closing || !m_owner)
        return;
    m_finishCode = code;
    // The service is stopping: a peer that does not answer the close frame soon is not waited for.
    websocket::stream_base::timeout timeout;
    m_socket.get_option(timeout);
    timeout.handshake_timeout = kFinishCloseWait;
    m_socket.set_option(timeout);
    // Before the upgrade is answered the accept's handler writes, and then closes.
    releaseHeld();
    writeNext();
}

void WebSocketChannel::abort()
{
    m_closing = true;
    releaseHeld();
    m_queue.dropWaiting();
    beast::get_lowest_layer(m_socket).close();
    end();
}

void WebSocketChannel::end()
{
    m_open = false;
    m_closing = true;
    // The hold timer's wait drops its hold on the owner.
    releaseHeld();
    if (auto onEnd = std::move(m_onEnd)) {
        m_onEnd = nullptr;
        onEnd();
    }
    // The pending operations still hold the owner; this drops the channel's own hold.
    m_owner.reset();
}

} // namespace quorix::service
