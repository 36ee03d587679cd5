#pragma once

// A TextChannel over Beast's WebSocket: the upgrade, a message size limit (larger messages close
// the connection with 1009), pings when the peer is quiet and a close when it stays silent (the
// idle timeout), and a bounded write queue.

#include "voteservice/core/servicemetrics.h"
#include "voteservice/web/outgoingtextqueue.h"
#include "voteservice/web/textchannel.h"
#include "voteservice/web/weblimits.h"
#include "voteservice/web/webresponse.h"
#include "voteservice/web/webstream.h"

#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <optional>

namespace quorix::service {

class WebSocketChannel : public TextChannel
{
public:
    // Counts its bytes and a cut into metrics when given.
    WebSocketChannel(WebStream stream, const WebLimits& limits, ServiceMetrics* metrics);

    // The answer to an upgrade request whose handshake fields cannot be accepted (no or a too long
    // Sec-WebSocket-Key: 400; a Sec-WebSocket-Version other than 13: 426 naming 13), checked before
    // a core session is opened for it; nullopt when the handshake can go ahead.
    static std::optional<WebResponse> handshakeRefusal(const Request& request);

    void start(std::shared_ptr<void> owner, Request request, std::function<void()> onOpen, TextHandler onText,
               EndHandler onEnd) override;
    void send(SharedText message) override;
    void close(std::uint16_t code) override;
    void abort() override;
    void finish(std::uint16_t code) override;

private:
    void read();
    void writeNext();
    void end();

    boost::beast::websocket::stream<WebStream> m_socket;
    boost::beast::flat_buffer m_readBuffer;
    Request m_request;
    OutgoingTextQueue m_queue;
    ServiceMetrics* m_metrics;
    std::shared_ptr<void> m_owner; // while the channel works; dropped at its end
    TextHandler m_onText;
    EndHandler m_onEnd;
    bool m_open = false;
    bool m_closing = false;
    std::optional<std::uint16_t> m_finishCode; // closes with it once the queue is written
    bool m_closeQueued = false;                // closing behind the write in flight: nothing more is sent
};

} // namespace quorix::service
