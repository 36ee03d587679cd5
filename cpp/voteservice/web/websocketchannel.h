#pragma once

// A TextChannel over Beast's WebSocket: the upgrade, a message size limit (larger messages close
// the connection with 1009), pings when the peer is quiet and a close when it stays silent (the
// idle timeout), and a bounded write queue. Queued messages leave in batches, each batch gathered
// into one write to the socket (WebStream). A held message (an answer) waits up to its hold, on a
// timer armed only while it waits, or until a message without a hold (a broadcast) is queued; then
// everything queued leaves together. Closing, finishing and draining send held messages first.

#include "voteservice/core/servicemetrics.h"
#include "voteservice/web/outgoingtextqueue.h"
#include "voteservice/web/textchannel.h"
#include "voteservice/web/weblimits.h"
#include "voteservice/web/webresponse.h"
#include "voteservice/web/webstream.h"

#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <chrono>
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
    void send(SharedText message, std::chrono::milliseconds hold) override;
    void close(std::uint16_t code) override;
    void abort() override;
    void finish(std::uint16_t code) override;

private:
    void read();
    // Holds what is queued for up to hold, unless a batch or a hold under way takes it along.
    void holdFor(std::chrono::milliseconds hold);
    // Ends a hold: what it held may be written.
    void releaseHeld();
    void writeNext();
    void end();

    boost::beast::websocket::stream<WebStream> m_socket;
    boost::beast::flat_buffer m_readBuffer;
    Request m_request;
    OutgoingTextQueue m_queue;
    boost::asio::steady_timer m_holdTimer;
    ServiceMetrics* m_metrics;
    std::shared_ptr<void> m_owner; // while the channel works; dropped at its end
    TextHandler m_onText;
    EndHandler m_onEnd;
    bool m_open = false;
    bool m_closing = false;
    bool m_holding = false;       // queued messages wait for the hold timer or a message without a hold
    bool m_writeInFlight = false; // Beast writes one message of the batch
    std::optional<std::uint16_t> m_finishCode; // closes with it once the queue is written
    bool m_closeQueued = false;                // closing behind the write in flight: nothing more is sent
};

} // namespace quorix::service
