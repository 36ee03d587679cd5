#pragma once

// What every connection of the web face shares: the server's core behind its gateway, who may use
// it (tokens, origins, metrics peers) and the tickets sold for streams, TLS, the limits, the open
// connections and where the metrics text comes from.

#include "voteservice/core/clock.h"
#include "voteservice/server/coregateway.h"
#include "voteservice/web/staticfiles.h"
#include "voteservice/web/framejsoncache.h"
#include "voteservice/web/originpolicy.h"
#include "voteservice/web/userrequestbudgets.h"
#include "voteservice/web/webaccess.h"
#include "voteservice/web/webclientregistry.h"
#include "voteservice/web/weblimits.h"
#include "voteservice/web/webticketstore.h"
#include "voteservice/webhook/webhookregistry.h"

#include <boost/asio.hpp>
#include <boost/asio/ssl/context.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quorix::service {

struct WebContext
{
    WebContext(boost::asio::io_context& io, CoreGateway& gateway, const Clock& clock, WebLimits limits,
               WebAccess access)
        : io(io), gateway(gateway), clock(clock), limits(limits), access(std::move(access)),
          origins(this->access.allowedOrigins), plainRequests(limits.requestsPerSecond, limits.requestBurst)
    {}

    boost::asio::io_context& io;
    CoreGateway& gateway;
    const Clock& clock;
    WebLimits limits;
    WebAccess access; // access.verifier set: tokens are required
    OriginPolicy origins;
    WebTicketStore tickets;
    WebClientRegistry clients;
    FrameJsonCache frames;
    UserRequestBudgets plainRequests;
    // The Prometheus text /metrics serves.
    std::function<std::string()> metricsText;
    // Where the web face counts the bytes it sends and the streams it cuts; null counts nothing.
    ServiceMetrics* metrics = nullptr;
    // Where the channels' webhooks are changed; null: their endpoint answers 503.
    WebhookRegistry* webhooks = nullptr;
    // The overlay and viewer pages; unset: their paths answer 404.
    std::optional<StaticFiles> pages;
    // Set: every connection speaks TLS (HTTPS, WSS); null: plain.
    std::shared_ptr<boost::asio::ssl::context> tls;
};

} // namespace quorix::service
