#pragma once

// Which endpoint a request names: method and path of the request target, with the numbers the path
// carries. Pure: no sockets. Paths are those of docs/http-api.md; /healthz and /metrics answer both at
// the root and under /api/v1. HEAD routes as GET, except on the streams (events, session).

#include "voteservice/core/accessscope.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorix::service {

enum class WebEndpoint
{
    VoteState,       // GET  /api/v1/channels/{ch}/subchannels/{sub}/vote
    Votes,           // GET    /api/v1/channels/{ch}/votes
    VoteCreate,      // POST   /api/v1/channels/{ch}/votes
    VoteBatchDelete, // POST   /api/v1/channels/{ch}/votes:batchDelete
    VoteRead,        // GET    /api/v1/channels/{ch}/votes/{id}
    VoteReplace,     // PUT    …/votes/{id}
    VoteDelete,      // DELETE …/votes/{id}
    VoteStart,       // POST   /api/v1/channels/{ch}/votes/{id}/start (now, or ?at= / {"at":…})
    VoteUnschedule,  // DELETE …/votes/{id}/schedule
    VoteStop,        // POST   …/stop
    VoteClose,       // POST   …/close
    History,         // GET  /api/v1/channels/{ch}/history
    User,            // GET  /api/v1/channels/{ch}/users/{imid}
    Webhook,         // GET, PUT, DELETE /api/v1/channels/{ch}/webhook
    Events,          // GET  /api/v1/channels/{ch}/events (WebSocket or SSE)
    Session,         // GET  /api/v1/session (WebSocket)
    Tickets,         // POST /api/v1/tickets
    TokenMint,       // POST /api/v1/channels/{ch}/tokens
    Health,          // GET  /healthz
    Metrics          // GET  /metrics
};

struct WebRoute
{
    // Set when the path and method match; otherwise status is 404 or 405 (with allow, the path's
    // methods).
    std::optional<WebEndpoint> endpoint;
    int status = 404;
    std::string allow;
    std::optional<std::uint32_t> channelId;
    std::optional<std::uint32_t> subChannelId; // from the path (vote state only)
    std::uint32_t voteId = 0;
    std::uint32_t imid = 0; // users/{imid}
    std::string_view query; // the target after '?', not decoded
};

class WebRouter
{
public:
    static WebRoute route(std::string_view method, std::string_view target);
    // The target in origin form: an absolute-form target (http://host/path?query), which HTTP/1.1
    // servers must accept, without its scheme and authority; any other target as it is.
    static std::string_view originForm(std::string_view target);
    // The scopes of which a token must have one for the endpoint; empty: any token will do here (the
    // tickets; the vote changes, whose scope the core checks; /healthz and /metrics, checked apart).
    static ScopeSet scopesFor(WebEndpoint endpoint);
};

} // namespace quorix::service
