#pragma once

// What every connection of the web face shares: the server's core behind its gateway, the token
// check, TLS, the limits, the open connections and where the metrics text comes from.

#include "clock.h"
#include "coregateway.h"
#include "staticfiles.h"
#include "framejsoncache.h"
#include "tokenauth.h"
#include "userrequestbudgets.h"
#include "webclientregistry.h"
#include "weblimits.h"

#include <boost/asio.hpp>
#include <boost/asio/ssl/context.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quorix::service {

struct WebContext
{
    WebContext(boost::asio::io_context& io, CoreGateway& gateway, const Clock& clock, WebLimits limits)
        : io(io), gateway(gateway), clock(clock), limits(limits),
          plainRequests(limits.requestsPerSecond, limits.requestBurst)
    {}

    boost::asio::io_context& io;
    CoreGateway& gateway;
    const Clock& clock;
    WebLimits limits;
    std::optional<TokenAuth> auth; // set: tokens are required
    WebClientRegistry clients;
    FrameJsonCache frames;
    UserRequestBudgets plainRequests;
    // The Prometheus text /metrics serves.
    std::function<std::string()> metricsText;
    // Where the web face counts the bytes it sends and the streams it cuts; null counts nothing.
    ServiceMetrics* metrics = nullptr;
    // The overlay and viewer pages; unset: their paths answer 404.
    std::optional<StaticFiles> pages;
    // Set: every connection speaks TLS (HTTPS, WSS); null: plain.
    std::shared_ptr<boost::asio::ssl::context> tls;
};

} // namespace quorix::service
