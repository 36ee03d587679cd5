#pragma once

// A stream of text messages to a web client over an upgraded connection (WebSocket or SSE). All
// calls on the io_context's thread. Pending operations hold the owner given to start(), so the
// object that owns the channel lives as long as the channel works.

#include "voteservice/web/outgoingtextqueue.h"

#include <boost/beast/http.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace quorix::service {

class TextChannel
{
public:
    using Request = boost::beast::http::request<boost::beast::http::string_body>;
    // A message from the client (WebSocket only).
    using TextHandler = std::function<void(const std::string& text)>;
    // Once, when the channel has ended for any reason.
    using EndHandler = std::function<void()>;

    virtual ~TextChannel() = default;
    // Answers the request that opened the channel, then calls onOpen and reads.
    virtual void start(std::shared_ptr<void> owner, Request request, std::function<void()> onOpen,
                       TextHandler onText, EndHandler onEnd) = 0;
    // Queues one message, perhaps shared with other channels; a client whose queue passes the bound
    // is disconnected. A message with a hold (an answer) may wait up to that long for the next
    // message without one, to leave in the same write; a channel that does not gather writes sends
    // it at once.
    virtual void send(SharedText message, std::chrono::milliseconds hold) = 0;
    // Ends the channel; a WebSocket says why with the close code (1000 normal, 1008 policy).
    virtual void close(std::uint16_t code) = 0;
    // Ends the connection at once, without waiting for the peer (the service stops).
    virtual void abort() = 0;
    // Ends the channel once the messages queued so far are written: a WebSocket with the close code
    // (1001 when the service goes away), an event stream by ending the connection.
    virtual void finish(std::uint16_t code) = 0;
};

} // namespace quorix::service
