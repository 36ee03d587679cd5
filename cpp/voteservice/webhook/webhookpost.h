#pragma once

// One webhook request: resolve, connect, TLS with the peer's certificate checked against the CAs of
// the given context and the URL's host (SNI for a host name), POST, and the answer's status.
// Everything within one timeout; the answer's header at most kMaxHeaderBytes and its body at most
// kMaxBodyBytes (a longer body is cut off, its status still counts). Runs on the io_context it is
// given.

#include "voteservice/webhook/webhookurl.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ssl/context.hpp>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace quorix::service {

class WebhookPost
{
public:
    static constexpr std::size_t kMaxHeaderBytes = 8 * 1024;
    static constexpr std::size_t kMaxBodyBytes = 4 * 1024;

    struct Outcome
    {
        int status = 0;    // the answer's HTTP status; 0 when none came
        std::string error; // why none came
        bool delivered() const { return status >= 200 && status < 300; }
    };
    using Headers = std::vector<std::pair<std::string, std::string>>;
    using Done = std::function<void(Outcome)>;

    static void send(boost::asio::io_context& io, boost::asio::ssl::context& tls, const WebhookUrl& url,
                     const Headers& headers, std::string body, std::chrono::milliseconds timeout, Done done);
};

} // namespace quorix::service
