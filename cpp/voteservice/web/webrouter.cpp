#include "voteservice/web/webrouter.h"

#include "voteservice/web/queryparameters.h"

#include <vector>

namespace quorix::service {

namespace {
constexpr std::size_t kMaxSegments = 8;

// The path's segments between slashes; empty when the path does not start with '/', has an empty
// segment or too many of them.
std::vector<std::string_view> segmentsOf(std::string_view path)
{
    std::vector<std::string_view> segments;
    if (path.empty() || path.front() != '/')
        return {};
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end == start || segments.size() == kMaxSegments)
            return {};
        segments.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return segments;
}

// The endpoints of a path, one for each method it takes; nullopt when no endpoint has that path.
struct MethodEndpoint
{
    const char* method;
    WebEndpoint endpoint;
};
struct PathMatch
{
    std::vector<MethodEndpoint> methods;

    PathMatch(const char* method, WebEndpoint endpoint) : methods{{method, endpoint}} {}
    PathMatch(std::initializer_list<MethodEndpoint> list) : methods(list) {}
};

std::optional<PathMatch> matchVotePath(const std::vector<std::string_view>& s, WebRoute& route)
{
    // s: api v1 channels {ch} votes {id} [action]
    const auto vote = QueryParameters::parseNumber(s[5]);
    if (!vote)
        return std::nullopt;
    route.voteId = *vote;
    if (s.size() == 6)
        return PathMatch{{"GET", WebEndpoint::VoteRead},
                         {"PUT", WebEndpoint::VoteReplace},
                         {"DELETE", WebEndpoint::VoteDelete}};
    if (s[6] == "start")
        return PathMatch{"POST", WebEndpoint::VoteStart};
    if (s[6] == "schedule")
        return PathMatch{"DELETE", WebEndpoint::VoteUnschedule};
    if (s[6] == "stop")
        return PathMatch{"POST", WebEndpoint::VoteStop};
    if (s[6] == "close")
        return PathMatch{"POST", WebEndpoint::VoteClose};
    return std::nullopt;
}

std::optional<PathMatch> matchChannelPath(const std::vector<std::string_view>& s, WebRoute& route)
{
    // s: api v1 channels {ch} ...
    const auto channel = QueryParameters::parseNumber(s[3]);
    if (!channel)
        return std::nullopt;
    route.channelId = *channel;
    if (s.size() == 5 && s[4] == "votes")
        return PathMatch{{"GET", WebEndpoint::Votes}, {"POST", WebEndpoint::VoteCreate}};
    if (s.size() == 5 && s[4] == "votes:batchDelete")
        return PathMatch{"POST", WebEndpoint::VoteBatchDelete};
    if (s.size() == 5 && s[4] == "history")
        return PathMatch{"GET", WebEndpoint::History};
    if (s.size() == 5 && s[4] == "webhook")
        return PathMatch{
            {"GET", WebEndpoint::Webhook}, {"PUT", WebEndpoint::Webhook}, {"DELETE", WebEndpoint::Webhook}};
    if (s.size() == 5 && s[4] == "tokens")
        return PathMatch{"POST", WebEndpoint::TokenMint};
    if (s.size() == 5 && s[4] == "events")
        return PathMatch{"GET", WebEndpoint::Events};
    if (s.size() == 7 && s[4] == "subchannels" && s[6] == "vote") {
        const auto sub = QueryParameters::parseNumber(s[5]);
        if (!sub)
            return std::nullopt;
        route.subChannelId = *sub;
        return PathMatch{"GET", WebEndpoint::VoteState};
    }
    if (s.size() == 6 && s[4] == "users") {
        const auto imid = QueryParameters::parseNumber(s[5]);
        if (!imid)
            return std::nullopt;
        route.imid = *imid;
        return PathMatch{"GET", WebEndpoint::User};
    }
    if ((s.size() == 6 || s.size() == 7) && s[4] == "votes")
        return matchVotePath(s, route);
    return std::nullopt;
}

std::optional<PathMatch> matchPath(const std::vector<std::string_view>& s, WebRoute& route)
{
    const bool api = s.size() >= 2 && s[0] == "api" && s[1] == "v1";
    const std::size_t at = api ? 2 : 0;
    if (s.size() == at + 1 && s[at] == "healthz")
        return PathMatch{"GET", WebEndpoint::Health};
    if (s.size() == at + 1 && s[at] == "metrics")
        return PathMatch{"GET", WebEndpoint::Metrics};
    if (!api)
        return std::nullopt;
    if (s.size() == 3 && s[2] == "session")
        return PathMatch{"GET", WebEndpoint::Session};
    if (s.size() == 3 && s[2] == "tickets")
        return PathMatch{"POST", WebEndpoint::Tickets};
    if (s.size() >= 4 && s[2] == "channels")
        return matchChannelPath(s, route);
    return std::nullopt;
}

bool isStream(WebEndpoint endpoint)
{
    return endpoint == WebEndpoint::Events || endpoint == WebEndpoint::Session;
}

// The Allow header of a path: its methods, HEAD after a GET that is not a stream's.
std::string allowOf(const PathMatch& match)
{
    std::string allow;
    for (const MethodEndpoint& each : match.methods) {
        allow += allow.empty() ? "" : ", ";
        allow += each.method;
        if (std::string_view(each.method) == "GET" && !isStream(each.endpoint))
            allow += ", HEAD";
    }
    return allow;
}
} // namespace

WebRoute WebRouter::route(std::string_view method, std::string_view target)
{
    WebRoute route;
    const std::size_t question = target.find('?');
    const std::string_view path = target.substr(0, question);
    if (question != std::string_view::npos)
        route.query = target.substr(question + 1);
    const auto match = matchPath(segmentsOf(path), route);
    if (!match) {
        route = WebRoute{};
        route.status = 404;
        return route;
    }
    // HEAD is GET without the body (the connection drops it), except on the streams.
    for (const MethodEndpoint& each : match->methods) {
        const bool get = std::string_view(each.method) == "GET";
        if (method == each.method || (method == "HEAD" && get && !isStream(each.endpoint))) {
            route.status = 200;
            route.endpoint = each.endpoint;
            return route;
        }
    }
    route.status = 405;
    route.allow = allowOf(*match);
    return route;
}

std::string_view WebRouter::originForm(std::string_view target)
{
    for (const std::string_view scheme : {std::string_view("http://"), std::string_view("https://")}) {
        if (target.substr(0, scheme.size()) != scheme)
            continue;
        const std::size_t path = target.find_first_of("/?", scheme.size());
        if (path == std::string_view::npos)
            return "/";
        // "http://host?x" names the root with a query: the router then finds no endpoint.
        return target.substr(path);
    }
    return target;
}

ScopeSet WebRouter::scopesFor(WebEndpoint endpoint)
{
    switch (endpoint) {
    case WebEndpoint::VoteState:
    case WebEndpoint::History:
    case WebEndpoint::Events:
        return AccessScope::Events;
    // A session watches with events and votes with vote; its votes the core refuses without vote.
    case WebEndpoint::Session:
        return ScopeSet(AccessScope::Events).with(AccessScope::Vote);
    case WebEndpoint::Votes:
    case WebEndpoint::VoteRead:
    case WebEndpoint::User:
    case WebEndpoint::Webhook:
    case WebEndpoint::TokenMint:
        return AccessScope::Manage;
    // The changes (create, replace, delete, start, stop, close): the core checks manage (result 22)
    // and audits a refused attempt.
    default:
        return {};
    }
}

} // namespace quorix::service
