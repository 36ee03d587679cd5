#pragma once

// A TextChannel as a server-sent event stream: a 200 text/event-stream header, then the messages as
// they come, ended by closing the connection. The client sends nothing more; a read stays pending
// to notice when it goes away. A comment line every keepAliveInterval lets dead peers show.

#include "voteservice/core/servicemetrics.h"
#include "voteservice/web/outgoingtextqueue.h"
#include "voteservice/web/textchannel.h"
#include "voteservice/web/weblimits.h"
#include "voteservice/web/webstream.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>

namespace quorix::service {

class SseChannel : public TextChannel
{
public:
    static constexpr std::chrono::seconds kKeepAliveInterval{15};

    // Counts its bytes and a cut into metrics when given.
    SseChannel(WebStream stream, const WebLimits& limits, ServiceMetrics* metrics);

    void start(std::shared_ptr<void> owner, Request request, std::function<void()> onOpen, TextHandler onText,
               EndHandler onEnd) override;
    void send(SharedText message, std::chrono::milliseconds hold) override;
    void close(std::uint16_t code) override;
    void abort() override;
    void finish(std::uint16_t code) override;

private:
    void watchPeer();
    void writeNext();
    void scheduleKeepAlive();
    void end();

    WebStream m_stream;
    boost::asio::steady_timer m_keepAlive;
    std::array<char, 512> m_discard{};
    OutgoingTextQueue m_queue;
    ServiceMetrics* m_metrics;
    std::shared_ptr<void> m_owner;
    EndHandler m_onEnd;
    bool m_ended = false;
    bool m_finishing = false; // ends once the queue is written
};

} // namespace quorix::service
