// The web face's pure steps: query parsing, routing and the scope each endpoint needs, who asks,
// origins and hosts, address blocks, stream tickets, the viewer's messages and how core results
// become HTTP statuses.

#include "voteservice/server/addressrange.h"
#include "voteservice/web/originpolicy.h"
#include "voteservice/web/queryparameters.h"
#include "voteservice/web/requestidentity.h"
#include "voteservice/core/resultcode.h"
#include "voteservice/web/resultwords.h"
#include "voteservice/web/sessionrequestparser.h"
#include "voteservice/auth/tokenauth.h"
#include "voteservice/auth/tokensigner.h"
#include "voteservice/web/userrequestbudgets.h"
#include "voteservice/web/webrouter.h"
#include "voteservice/web/webticketstore.h"
#include "voteservice/webhook/webhooksignature.h"
#include "voteservice/webhook/webhookurl.h"

#include <quorix/protocol/votemessages.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

namespace quorix::service::test {
namespace {

TEST(QueryParametersTest, DecodesOrNamesTheFaultyParameter)
{
    struct Row
    {
        const char* query;
        bool ok;
        const char* name; // a parameter to look at, or the field at fault
        const char* value;
    };
    const Row rows[] = {
        {"", true, "uid", nullptr},
        {"uid=5&nick=a%20b", true, "nick", "a b"},
        {"nick=x+y", true, "nick", "x y"},
        {"flag", true, "flag", ""},
        {"a=1&&b=2&", true, "b", "2"},
        {"nick=%E4%BD%A0", true, "nick", "\xE4\xBD\xA0"},
        {"nick=%4", false, "nick", nullptr},
        {"nick=%zz", false, "nick", nullptr},
        {"%=1", false, "query", nullptr},
        {"a=1&&=%zz", false, "query", nullptr},
        {"=a1&b-&=zz", false, "query", nullptr},
        {"uid=1&uid=2", false, "uid", nullptr},
    };
    for (const Row& row : rows) {
        std::string field;
        const auto parsed = QueryParameters::parse(row.query, field);
        ASSERT_EQ(parsed.has_value(), row.ok) << row.query;
        if (!row.ok) {
            EXPECT_EQ(field, row.name) << row.query;
            continue;
        }
        const std::string* value = parsed->find(row.name);
        if (row.value == nullptr)
            EXPECT_EQ(value, nullptr) << row.query;
        else
            EXPECT_TRUE(value && *value == row.value) << row.query;
    }
    std::string many;
    for (int i = 0; i <= int(QueryParameters::kMaxParameters); ++i)
        many += "p" + std::to_string(i) + "=1&";
    std::string field;
    EXPECT_FALSE(QueryParameters::parse(many, field));
    EXPECT_EQ(field, "query");
}

TEST(QueryParametersTest, NumbersAreDecimalAndFit32Bits)
{
    const std::pair<const char*, std::optional<std::uint32_t>> rows[] = {
        {"0", 0u},
        {"4294967295", 4294967295u},
        {"4294967296", std::nullopt},
        {"-1", std::nullopt},
        {"", std::nullopt},
        {"1e3", std::nullopt},
        {" 1", std::nullopt},
        {"00000000012", std::nullopt},
    };
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(QueryParameters::parseNumber(text), expected) << text;
}

TEST(WebRouterTest, RoutesMethodAndPath)
{
    struct Row
    {
        const char* method;
        const char* target;
        int status;
        std::optional<WebEndpoint> endpoint;
        std::uint32_t channel;
        std::uint32_t voteId;
        const char* allow;
    };
    const Row rows[] = {
        {"GET", "/api/v1/channels/10/subchannels/20/vote?uid=1", 200, WebEndpoint::VoteState, 10, 0, ""},
        {"GET", "/api/v1/channels/10/votes", 200, WebEndpoint::Votes, 10, 0, ""},
        {"POST", "/api/v1/channels/10/votes/7/start?sub=2", 200, WebEndpoint::VoteStart, 10, 7, ""},
        {"POST", "/api/v1/channels/10/votes/7/stop", 200, WebEndpoint::VoteStop, 10, 7, ""},
        {"POST", "/api/v1/channels/10/votes/7/close", 200, WebEndpoint::VoteClose, 10, 7, ""},
        {"GET", "/api/v1/channels/10/history?format=csv", 200, WebEndpoint::History, 10, 0, ""},
        {"GET", "/api/v1/channels/10/events", 200, WebEndpoint::Events, 10, 0, ""},
        {"GET", "/api/v1/session", 200, WebEndpoint::Session, 0, 0, ""},
        {"GET", "/healthz", 200, WebEndpoint::Health, 0, 0, ""},
        {"GET", "/api/v1/metrics", 200, WebEndpoint::Metrics, 0, 0, ""},
        {"GET", "/api/v1/channels/10/votes/7/start", 405, std::nullopt, 0, 0, "POST"},
        {"DELETE", "/api/v1/channels/10/votes", 405, std::nullopt, 0, 0, "GET, HEAD, POST"},
        {"POST", "/api/v1/channels/10/votes", 200, WebEndpoint::VoteCreate, 10, 0, ""},
        {"PUT", "/api/v1/channels/10/webhook", 200, WebEndpoint::Webhook, 10, 0, ""},
        {"POST", "/api/v1/channels/10/webhook", 405, std::nullopt, 0, 0, "GET, HEAD, PUT, DELETE"},
        {"GET", "/api/v1/channels/10/votes/7", 200, WebEndpoint::VoteRead, 10, 7, ""},
        {"HEAD", "/api/v1/channels/10/votes/7", 200, WebEndpoint::VoteRead, 10, 7, ""},
        {"PUT", "/api/v1/channels/10/votes/7", 200, WebEndpoint::VoteReplace, 10, 7, ""},
        {"DELETE", "/api/v1/channels/10/votes/7?sub=2", 200, WebEndpoint::VoteDelete, 10, 7, ""},
        {"POST", "/api/v1/channels/10/votes/7", 405, std::nullopt, 0, 0, "GET, HEAD, PUT, DELETE"},
        {"POST", "/api/v1/channels/10/votes:batchDelete", 200, WebEndpoint::VoteBatchDelete, 10, 0, ""},
        {"DELETE", "/api/v1/channels/10/votes:batchDelete", 405, std::nullopt, 0, 0, "POST"},
        {"POST", "/api/v1/channels/10/votes:batchdelete", 404, std::nullopt, 0, 0, ""},
        {"GET", "/api/v1/channels/10/votes/x", 404, std::nullopt, 0, 0, ""},
        {"PUT", "/api/v1/channels/10/votes/7/start", 405, std::nullopt, 0, 0, "POST"},
        {"HEAD", "/healthz", 200, WebEndpoint::Health, 0, 0, ""},
        {"HEAD", "/api/v1/channels/10/history", 200, WebEndpoint::History, 10, 0, ""},
        {"HEAD", "/api/v1/channels/10/events", 405, std::nullopt, 0, 0, "GET"},
        {"HEAD", "/api/v1/session", 405, std::nullopt, 0, 0, "GET"},
        {"HEAD", "/api/v1/channels/10/votes/7/stop", 405, std::nullopt, 0, 0, "POST"},
        {"OPTIONS", "/metrics", 405, std::nullopt, 0, 0, "GET, HEAD"},
        {"GET", "/api/v1/channels/x/votes", 404, std::nullopt, 0, 0, ""},
        {"GET", "/api/v1/channels/10/votes/", 404, std::nullopt, 0, 0, ""},
        {"GET", "/api/v1/channels//votes", 404, std::nullopt, 0, 0, ""},
        {"POST", "/api/v1/channels/10/votes/7/restart", 404, std::nullopt, 0, 0, ""},
        {"POST", "/api/v1/tickets", 200, WebEndpoint::Tickets, 0, 0, ""},
        {"GET", "/api/v1/tickets", 405, std::nullopt, 0, 0, "POST"},
        {"POST", "/tickets", 404, std::nullopt, 0, 0, ""},
        {"GET", "/api/v2/session", 404, std::nullopt, 0, 0, ""},
        {"GET", "/session", 404, std::nullopt, 0, 0, ""},
        {"GET", "", 404, std::nullopt, 0, 0, ""},
        {"GET", "/a/b/c/d/e/f/g/h/i/j", 404, std::nullopt, 0, 0, ""},
    };
    for (const Row& row : rows) {
        const WebRoute route = WebRouter::route(row.method, row.target);
        EXPECT_EQ(route.status, row.status) << row.method << " " << row.target;
        EXPECT_EQ(route.endpoint, row.endpoint) << row.target;
        EXPECT_EQ(route.allow, row.allow) << row.target;
        if (row.status == 200) {
            EXPECT_EQ(route.channelId.value_or(0), row.channel) << row.target;
            EXPECT_EQ(route.voteId, row.voteId) << row.target;
        }
    }
    EXPECT_EQ(WebRouter::route("GET", "/api/v1/channels/10/subchannels/20/vote?uid=1").query, "uid=1");
}

TEST(WebRouterTest, AbsoluteFormTargetsBecomeOriginForm)
{
    const std::pair<std::string_view, std::string_view> rows[] = {
        {"http://votes.example:8080/healthz?x=1", "/healthz?x=1"},
        {"https://votes.example/api/v1/session", "/api/v1/session"},
        {"http://votes.example", "/"},
        {"http://votes.example?uid=1", "?uid=1"},
        {"/healthz", "/healthz"},
        {"/http://x/healthz", "/http://x/healthz"},
        {"ftp://x/healthz", "ftp://x/healthz"},
        {"*", "*"},
    };
    for (const auto& [target, expected] : rows)
        EXPECT_EQ(WebRouter::originForm(target), expected) << target;
    EXPECT_EQ(WebRouter::route("GET", WebRouter::originForm("http://h:1/metrics")).endpoint,
              WebEndpoint::Metrics);
}

// Tokens of these claims, signed with the verifier's secret unless another signer is given.
class TokenMaker
{
public:
    static constexpr std::int64_t kNow = 1800000000;
    static constexpr const char* kSecret = "0123456789abcdef-secret";

    static AccessClaims claims(std::uint32_t uid, std::uint32_t role,
                               ScopeSet scopes = ScopeSet::forRole(255))
    {
        AccessClaims claims;
        claims.uid = uid;
        claims.imid = 6;
        claims.role = role;
        claims.channelId = 10;
        claims.scopes = scopes;
        claims.issuedAt = kNow - 10;
        claims.expiresAt = kNow + 60;
        return claims;
    }
    static std::string sign(const AccessClaims& claims)
    {
        return TokenSigner::withSecret(kSecret).sign(claims);
    }
    static TokenVerifier verifier(bool legacy = false)
    {
        TokenPolicy policy;
        policy.acceptLegacy = legacy;
        return TokenVerifier(KeySet::fromSecret(kSecret), policy);
    }
};

TEST(RequestIdentityTest, TokensTicketsAndLoopbackDecideWhoAsks)
{
    using T = TokenMaker;
    const TokenVerifier verifier = T::verifier();
    const TokenVerifier legacyVerifier = T::verifier(true);
    const std::string good = T::sign(T::claims(5, 255));
    AccessClaims expiredClaims = T::claims(5, 255);
    expiredClaims.expiresAt = T::kNow - 1;
    AccessClaims pinnedClaims = T::claims(5, 0);
    pinnedClaims.subChannelId = 3;
    const std::string pinned = T::sign(pinnedClaims);
    const std::string legacy = TokenAuth(T::kSecret).issue({5, 6, 255, 10}, T::kNow + 60);
    const AccessClaims ticket = T::claims(7, 0, AccessScope::Events);
    enum Keys
    {
        None,
        Jwt,
        Legacy
    };
    struct Row
    {
        const char* name;
        Keys keys;
        bool loopback;
        std::string authorization;
        std::string query;
        std::optional<std::uint32_t> pathChannel;
        const AccessClaims* ticket;
        int status;
        const char* error; // "" when any
        const char* field;
    };
    const Row rows[] = {
        {"trusted loopback", None, true, "", "uid=5&role=255&sub=3&nick=Ann", 10u, nullptr, 200, "", ""},
        {"remote without keys", None, false, "", "uid=5", 10u, nullptr, 403, "", ""},
        {"uid missing", None, true, "", "role=1", 10u, nullptr, 400, "", "uid"},
        {"uid not a number", None, true, "", "uid=abc", 10u, nullptr, 400, "", "uid"},
        {"nick not UTF-8", None, true, "", "uid=5&nick=%FF", 10u, nullptr, 400, "", "nick"},
        {"channel missing", None, true, "", "uid=5", std::nullopt, nullptr, 400, "", "channel"},
        {"other channel", None, true, "", "uid=5&channel=11", 10u, nullptr, 403, "", "channel"},
        {"bearer token", Jwt, false, "Bearer " + good, "uid=5&imid=6&role=255", 10u, nullptr, 200, "", ""},
        {"bearer token, no identity parameters", Jwt, false, "bearer  " + good, "", 10u, nullptr, 200, "",
         ""},
        {"token parameter is not read", Jwt, true, "", "uid=5&token=" + good, 10u, nullptr, 401,
         "token refused: missing", ""},
        {"not bearer", Jwt, true, "Basic abc", "uid=5", 10u, nullptr, 401, "token refused: malformed", ""},
        {"no token", Jwt, true, "", "uid=5", 10u, nullptr, 401, "token refused: missing", ""},
        {"garbage", Jwt, true, "Bearer abc", "uid=5", 10u, nullptr, 401, "token refused: malformed", ""},
        {"over 2048 bytes", Jwt, true, "Bearer " + good + std::string(2048, 'A'), "", 10u, nullptr, 401,
         "token refused: malformed", ""},
        {"expired", Jwt, true, "Bearer " + T::sign(expiredClaims), "uid=5", 10u, nullptr, 401,
         "token refused: expired", ""},
        {"claims another role", Jwt, true, "Bearer " + good, "uid=5&role=0", 10u, nullptr, 401,
         "token refused: wrong-claims", ""},
        {"claims another uid", Jwt, true, "Bearer " + good, "uid=6", 10u, nullptr, 401,
         "token refused: wrong-claims", ""},
        {"token of another channel", Jwt, true, "Bearer " + good, "", 11u, nullptr, 401,
         "token refused: wrong-channel", ""},
        {"channel parameter, other path", Jwt, true, "Bearer " + good, "channel=10", 11u, nullptr, 401,
         "token refused: wrong-channel", ""},
        {"pinned to its sub-channel", Jwt, false, "Bearer " + pinned, "sub=3", 10u, nullptr, 200, "", ""},
        {"pinned, another sub-channel", Jwt, false, "Bearer " + pinned, "sub=4", 10u, nullptr, 401,
         "token refused: wrong-channel", ""},
        {"ticket", Jwt, false, "", "uid=7&nick=Bo", 10u, &ticket, 200, "", ""},
        {"ticket of another uid", Jwt, false, "", "uid=5", 10u, &ticket, 401, "token refused: wrong-claims",
         ""},
        {"legacy token parameter", Legacy, false, "", "uid=5&imid=6&role=255&token=" + legacy, 10u, nullptr,
         200, "", ""},
        {"legacy token, other role", Legacy, false, "", "uid=5&imid=6&role=0&token=" + legacy, 10u, nullptr,
         401, "token refused: wrong-claims", ""},
        {"legacy refused without the option", Jwt, false, "Bearer " + legacy, "uid=5&imid=6&role=255", 10u,
         nullptr, 401, "token refused: legacy", ""},
    };
    for (const Row& row : rows) {
        std::string field;
        const auto query = QueryParameters::parse(row.query, field);
        ASSERT_TRUE(query) << row.name;
        IdentityRequest request;
        request.authorization = row.authorization;
        request.query = &*query;
        request.loopbackPeer = row.loopback;
        request.pathChannel = row.pathChannel;
        request.ticketClaims = row.ticket;
        const TokenVerifier* keys = row.keys == None  ? nullptr
                                    : row.keys == Jwt ? &verifier
                                                      : &legacyVerifier;
        const IdentityOutcome outcome = RequestIdentity::resolve(keys, T::kNow, request);
        EXPECT_EQ(outcome.status, row.status) << row.name << ": " << outcome.error;
        EXPECT_EQ(outcome.field, row.field) << row.name;
        if (*row.error != '\0') {
            EXPECT_EQ(outcome.error, row.error) << row.name;
        }
        EXPECT_EQ(outcome.error.find(good.substr(0, 20)), std::string::npos) << row.name;
    }
}

// With keys the identity is the token's; the nick still comes from the query.
TEST(RequestIdentityTest, TheIdentityIsTheClaimsOrTheQuery)
{
    using T = TokenMaker;
    const TokenVerifier verifier = T::verifier();
    AccessClaims claims = T::claims(5, 20, ScopeSet(AccessScope::Events).with(AccessScope::Vote));
    claims.subChannelId = 3;
    claims.tokenId = "jti-1";
    const std::string token = T::sign(claims);
    struct Row
    {
        const char* name;
        const TokenVerifier* verifier;
        std::string authorization;
        std::string query;
        SessionIdentity expected;
    };
    SessionIdentity fromToken{
        5,       6,          "Ann", 20, 10, 3, ScopeSet(AccessScope::Events).with(AccessScope::Vote),
        "jti-1", "embedded", ""};
    SessionIdentity fromQuery{5, 0, "Ann", 255, 10, 3, ScopeSet::all(), "", "embedded", ""};
    const Row rows[] = {
        {"token", &verifier, "Bearer " + token, "nick=Ann", fromToken},
        {"token, agreeing query", &verifier, "Bearer " + token,
         "uid=5&imid=6&role=20&channel=10&sub=3&nick=Ann", fromToken},
        {"no keys", nullptr, "", "uid=5&role=255&sub=3&nick=Ann", fromQuery},
    };
    for (const Row& row : rows) {
        std::string field;
        const auto query = QueryParameters::parse(row.query, field);
        IdentityRequest request;
        request.authorization = row.authorization;
        request.query = &*query;
        request.loopbackPeer = true;
        request.pathChannel = 10;
        const IdentityOutcome outcome = RequestIdentity::resolve(row.verifier, T::kNow, request);
        ASSERT_EQ(outcome.status, 200) << row.name << ": " << outcome.error;
        const SessionIdentity& who = outcome.identity;
        const SessionIdentity& want = row.expected;
        EXPECT_EQ(
            std::tie(who.uid, who.imid, who.nick, who.role, who.channelId, who.subChannelId, who.tokenId),
            std::tie(want.uid, want.imid, want.nick, want.role, want.channelId, want.subChannelId,
                     want.tokenId))
            << row.name;
        EXPECT_EQ(who.scopes, want.scopes) << row.name;
        EXPECT_EQ(outcome.claims.has_value(), row.verifier != nullptr) << row.name;
    }
}

TEST(WebRouterTest, EachEndpointNeedsItsScope)
{
    const ScopeSet watch = AccessScope::Events;
    const std::pair<WebEndpoint, ScopeSet> rows[] = {
        {WebEndpoint::VoteState, watch},
        {WebEndpoint::History, watch},
        {WebEndpoint::Events, watch},
        {WebEndpoint::Session, watch.with(AccessScope::Vote)},
        {WebEndpoint::Votes, AccessScope::Manage},
        {WebEndpoint::VoteRead, AccessScope::Manage},
        // The core checks manage for these, so that a refused attempt is audited.
        {WebEndpoint::VoteCreate, ScopeSet()},
        {WebEndpoint::VoteReplace, ScopeSet()},
        {WebEndpoint::VoteDelete, ScopeSet()},
        {WebEndpoint::VoteBatchDelete, ScopeSet()},
        {WebEndpoint::VoteStart, ScopeSet()},
        {WebEndpoint::VoteStop, ScopeSet()},
        {WebEndpoint::VoteClose, ScopeSet()},
        {WebEndpoint::Tickets, ScopeSet()},
        {WebEndpoint::Health, ScopeSet()},
    };
    for (const auto& [endpoint, scopes] : rows)
        EXPECT_EQ(WebRouter::scopesFor(endpoint).words(), scopes.words()) << int(endpoint);
}

TEST(OriginPolicyTest, SameOriginOrAllowedOnly)
{
    const OriginPolicy policy({"https://Studio.Example/", "http://obs.local:8080"});
    struct Row
    {
        const char* origin;
        const char* host;
        bool tls;
        bool allowed;
    };
    const Row rows[] = {
        {"http://127.0.0.1:8080", "127.0.0.1:8080", false, true},
        {"http://LOCALHOST:8080", "localhost:8080", false, true},
        {"https://votes.example", "votes.example:443", true, true},
        {"https://votes.example:443", "votes.example", true, true},
        {"http://votes.example", "votes.example", true, false}, // the scheme differs
        {"http://127.0.0.1:8081", "127.0.0.1:8080", false, false},
        {"http://evil.example", "127.0.0.1:8080", false, false},
        {"https://studio.example", "127.0.0.1:8080", false, true},
        {"https://studio.example:8443", "127.0.0.1:8080", false, false},
        {"http://obs.local:8080", "votes.example", true, true},
        {"null", "127.0.0.1:8080", false, false},
        {"http://127.0.0.1:8080/path", "127.0.0.1:8080", false, false},
        {"http://127.0.0.1:8080", "", false, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(policy.allowsOrigin(row.origin, row.host, row.tls), row.allowed)
            << row.origin << " to " << row.host;
}

TEST(OriginPolicyTest, LoopbackHostsAreLocalNamesAndAddresses)
{
    const std::pair<const char*, bool> rows[] = {
        {"localhost", true},
        {"localhost:8080", true},
        {"LocalHost.", true},
        {"app.localhost:80", true},
        {"127.0.0.1:8080", true},
        {"127.9.8.7", true},
        {"[::1]:8080", true},
        {"[::1]", true},
        {"", false},
        {"evil.example", false},
        {"localhost.evil.example", false},
        {"10.0.0.1:8080", false},
        {"127.0.0.1:x", false},
        {"[::ffff:7f00:1]", false},
        {"::1", false},
    };
    for (const auto& [host, loopback] : rows)
        EXPECT_EQ(OriginPolicy::isLoopbackHost(host), loopback) << host;
}

TEST(AddressRangeTest, BlocksHoldTheirAddresses)
{
    struct Row
    {
        const char* range; // nullptr: text not a range
        const char* text;
        const char* address;
        bool contained;
    };
    const Row rows[] = {
        {"127.0.0.0/8", "127.0.0.0/8", "127.200.0.1", true},
        {"127.0.0.0/8", "127.0.0.0/8", "::ffff:127.0.0.1", true},
        {"127.0.0.0/8", "127.0.0.0/8", "128.0.0.1", false},
        {"10.1.2.0/23", "10.1.2.0/23", "10.1.3.255", true},
        {"10.1.2.0/23", "10.1.2.0/23", "10.1.4.0", false},
        {"192.0.2.7", "192.0.2.7", "192.0.2.7", true},
        {"192.0.2.7", "192.0.2.7", "192.0.2.8", false},
        {"0.0.0.0/0", "0.0.0.0/0", "203.0.113.9", true},
        {"0.0.0.0/0", "0.0.0.0/0", "::1", false},
        {"fd00::/8", "fd00::/8", "fd12::1", true},
        {"fd00::/8", "fd00::/8", "fe80::1", false},
        {nullptr, "10.0.0.0/33", "", false},
        {nullptr, "::/129", "", false},
        {nullptr, "10.0.0.0/", "", false},
        {nullptr, "10.0.0.0/8x", "", false},
        {nullptr, "votes.example/8", "", false},
    };
    for (const Row& row : rows) {
        const auto range = AddressRange::parse(row.text);
        ASSERT_EQ(range.has_value(), row.range != nullptr) << row.text;
        if (!range)
            continue;
        EXPECT_EQ(range->contains(boost::asio::ip::make_address(row.address)), row.contained)
            << row.text << " " << row.address;
    }
    EXPECT_TRUE(AddressRange::anyContains(AddressRange::loopback(), boost::asio::ip::make_address("::1")));
    EXPECT_FALSE(AddressRange::anyContains(AddressRange::loopback(), boost::asio::ip::make_address("::2")));
}

TEST(WebTicketStoreTest, ATicketOpensOneStreamWithinItsTime)
{
    WebTicketStore store;
    const AccessClaims viewer = TokenMaker::claims(9, 0, AccessScope::Events);
    std::string first, second;
    ASSERT_EQ(store.issue(viewer, 1000, first), WebTicketStore::Issued::Yes);
    ASSERT_EQ(store.issue(viewer, 1000, second), WebTicketStore::Issued::Yes);
    EXPECT_EQ(first.size(), WebTicketStore::kTicketChars);
    EXPECT_NE(first, second);
    struct Row
    {
        const char* name;
        std::string ticket;
        std::int64_t nowMs;
        bool redeemed;
    };
    const Row rows[] = {
        {"fresh", first, 1000 + WebTicketStore::kLifetimeMs - 1, true},
        {"spent", first, 1001, false},
        {"unknown", std::string(WebTicketStore::kTicketChars, 'a'), 1001, false},
        {"empty", "", 1001, false},
        {"expired", second, 1000 + WebTicketStore::kLifetimeMs, false},
    };
    for (const Row& row : rows) {
        const auto claims = store.redeem(row.ticket, row.nowMs);
        EXPECT_EQ(claims.has_value(), row.redeemed) << row.name;
        if (claims) {
            EXPECT_EQ(claims->uid, 9u) << row.name;
            EXPECT_EQ(claims->scopes, ScopeSet(AccessScope::Events)) << row.name;
        }
    }
    EXPECT_EQ(store.size(), 0u);
}

TEST(WebTicketStoreTest, OneUserCannotFillTheStore)
{
    WebTicketStore store;
    const AccessClaims greedy = TokenMaker::claims(9, 0);
    std::string ticket;
    for (std::size_t i = 0; i < WebTicketStore::kMaxPerUser; ++i)
        ASSERT_EQ(store.issue(greedy, 0, ticket), WebTicketStore::Issued::Yes);
    EXPECT_EQ(store.issue(greedy, 0, ticket), WebTicketStore::Issued::UserFull);
    EXPECT_EQ(store.issue(TokenMaker::claims(10, 0), 0, ticket), WebTicketStore::Issued::Yes);
    // Spending one makes room for the next; expiry frees them all.
    ASSERT_TRUE(store.redeem(ticket, 1));
    EXPECT_EQ(store.issue(greedy, 1, ticket), WebTicketStore::Issued::UserFull);
    EXPECT_EQ(store.issue(greedy, WebTicketStore::kLifetimeMs, ticket), WebTicketStore::Issued::Yes);
    EXPECT_EQ(store.size(), 1u);
}

TEST(SessionRequestParserTest, ReadsTheViewersMessagesOrNamesTheField)
{
    struct Row
    {
        const char* text;
        bool ok;
        const char* field;
        std::uint32_t voteId;
        std::uint32_t optionId;
        std::uint32_t tickets;
    };
    const Row rows[] = {
        {R"({"id":1,"type":"vote","voteId":3,"optionId":2,"tickets":1})", true, "", 3, 2, 1},
        {R"({"type":"vote","voteId":3,"optionId":0})", true, "", 3, 0, 1},
        {R"({"id":"a","type":"judgeScore","voteId":3,"score":5})", true, "", 3, 0, 5},
        {R"({"type":"tickets","voteId":3})", true, "", 3, 0, 0},
        {R"({"type":"vote","voteId":3})", false, "optionId", 0, 0, 0},
        {R"({"type":"vote","voteId":-3,"optionId":1})", false, "voteId", 0, 0, 0},
        {R"({"type":"vote","voteId":3,"optionId":1.5})", false, "optionId", 0, 0, 0},
        {R"({"type":"vote","voteId":3.0,"optionId":2e0,"tickets":-0})", true, "", 3, 2, 0},
        {R"({"type":"vote","voteId":4294967295,"optionId":1})", true, "", 4294967295u, 1, 1},
        {R"({"type":"vote","voteId":3,"optionId":1,"tickets":-1})", false, "tickets", 0, 0, 0},
        {R"({"type":"vote","voteId":3,"optionId":1,"tickets":1e300})", false, "tickets", 0, 0, 0},
        {R"({"type":"vote","voteId":3,"optionId":true})", false, "optionId", 0, 0, 0},
        {R"({"type":"vote","voteId":4294967296,"optionId":1})", false, "voteId", 0, 0, 0},
        {R"({"type":"judgeScore","voteId":3,"score":"5"})", false, "score", 0, 0, 0},
        {R"({"type":"shout","voteId":3})", false, "type", 0, 0, 0},
        {R"({"voteId":3})", false, "type", 0, 0, 0},
        {R"({"id":{},"type":"tickets","voteId":3})", false, "id", 0, 0, 0},
        {R"([1,2])", false, "", 0, 0, 0},
        {R"({"type":"vote",)", false, "", 0, 0, 0},
        {R"({"type":"vote","type":"tickets","voteId":1})", false, "", 0, 0, 0},
    };
    for (const Row& row : rows) {
        const ParsedSessionRequest parsed = SessionRequestParser::parse(row.text);
        ASSERT_EQ(parsed.request.has_value(), row.ok) << row.text << ": " << parsed.error;
        EXPECT_EQ(parsed.field, row.field) << row.text;
        if (!row.ok) {
            EXPECT_FALSE(parsed.error.empty()) << row.text;
            continue;
        }
        EXPECT_EQ(parsed.request->voteId, row.voteId) << row.text;
        EXPECT_EQ(parsed.request->optionId, row.optionId) << row.text;
        EXPECT_EQ(parsed.request->tickets, row.tickets) << row.text;
    }
    EXPECT_EQ(SessionRequestParser::parse(R"({"id":"a","type":"vote","voteId":1})").id, "a");
}

TEST(WebhookUrlTest, TakesHttpsAddressesOnlyAndNamesTheFault)
{
    struct Row
    {
        std::string text;
        bool allowHttp;
        std::optional<WebhookUrl> parsed; // tls, host, port, target
        const char* reason;
    };
    const std::string longPath = "https://example.org/" + std::string(WebhookUrl::kMaxLength, 'a');
    const Row rows[] = {
        {"https://example.org/hook?a=1", false, WebhookUrl{true, "example.org", 443, "/hook?a=1"}, ""},
        {"https://example.org", false, WebhookUrl{true, "example.org", 443, "/"}, ""},
        {"https://example.org?x", false, WebhookUrl{true, "example.org", 443, "/?x"}, ""},
        {"https://10.0.0.1:8443/h", false, WebhookUrl{true, "10.0.0.1", 8443, "/h"}, ""},
        {"https://[::1]:8443/h", false, WebhookUrl{true, "[::1]", 8443, "/h"}, ""},
        {"http://127.0.0.1:9000/h", true, WebhookUrl{false, "127.0.0.1", 9000, "/h"}, ""},
        {"http://127.0.0.1:9000/h", false, std::nullopt, "url is not https://"},
        {"ftp://example.org/", true, std::nullopt, "url is not http:// or https://"},
        {"https://user:pw@example.org/", false, std::nullopt, "url names a user"},
        {"https://example.org:0/", false, std::nullopt, "url has no port number from 1 to 65535"},
        {"https://example.org:65536/", false, std::nullopt, "url has no port number from 1 to 65535"},
        {"https://example.org:80x/", false, std::nullopt, "url has no port number from 1 to 65535"},
        {"https:///path", false, std::nullopt, "url has no host name"},
        {"https://exa_mple.org/", false, std::nullopt, "url has no host name"},
        {"https://example.org/a b", false, std::nullopt,
         "url holds spaces, control characters, non-ASCII or a fragment"},
        {"https://example.org/#top", false, std::nullopt,
         "url holds spaces, control characters, non-ASCII or a fragment"},
        {"https://example.org/\xc3\xa9", false, std::nullopt,
         "url holds spaces, control characters, non-ASCII or a fragment"},
        {longPath, false, std::nullopt, "url is longer than 2048 characters"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        std::string reason;
        const std::optional<WebhookUrl> url = WebhookUrl::parse(row.text, row.allowHttp, reason);
        ASSERT_EQ(url.has_value(), row.parsed.has_value()) << reason;
        EXPECT_EQ(reason, row.reason);
        if (!url)
            continue;
        EXPECT_EQ(url->tls, row.parsed->tls);
        EXPECT_EQ(url->host, row.parsed->host);
        EXPECT_EQ(url->port, row.parsed->port);
        EXPECT_EQ(url->target, row.parsed->target);
    }
    std::string ignored;
    EXPECT_EQ(WebhookUrl::parse("https://example.org/", false, ignored)->hostHeader(), "example.org");
    EXPECT_EQ(WebhookUrl::parse("http://localhost:8080/", true, ignored)->hostHeader(), "localhost:8080");
}

// The value Python's hmac module gives for the same key, timestamp and body.
TEST(WebhookSignatureTest, SignsTimestampDotBodyWithHmacSha256)
{
    EXPECT_EQ(WebhookSignature::sign("Jefe", 1796789989, R"({"type":"vote.end"})"),
              "sha256=11ec5c621448426eb84529e04884fa77827f8109f3161a2eb713f7fd9379f9e0");
    const std::string secret = WebhookSignature::newSecret();
    EXPECT_TRUE(std::regex_match(secret, std::regex("[0-9a-f]{64}")));
    EXPECT_NE(secret, WebhookSignature::newSecret());
}

TEST(ResultWordsTest, ManagementResultsBecomeHttpStatuses)
{
    struct Row
    {
        std::uint32_t request;
        std::uint32_t code;
        int status;
    };
    const Row rows[] = {
        {VOTE_SYSTEM_START_VOTE_REQ, kResultOk, 200},
        {VOTE_SYSTEM_START_VOTE_REQ, kResultNotFound, 404},
        {VOTE_SYSTEM_START_VOTE_REQ, kResultStartStorageError, 503},
        {VOTE_SYSTEM_START_VOTE_REQ, kResultAnotherVoteOpen, 409},
        {VOTE_SYSTEM_START_VOTE_REQ, kResultNotManager, 403},
        {VOTE_SYSTEM_START_VOTE_REQ, kResultTooManyRequests, 429},
        {VOTE_SYSTEM_END_VOTE_REQ, kResultEndNotFound, 404},
        {VOTE_SYSTEM_END_VOTE_REQ, kResultEndStorageError, 503},
        {VOTE_SYSTEM_CLOSE_VOTEUI_REQ, kResultNotFound, 404},
        {VOTE_SYSTEM_CLOSE_VOTEUI_REQ, kResultStorageUnavailable, 503},
        {VOTE_SYSTEM_CLOSE_VOTEUI_REQ, kResultVoteOpen, 409},
        {VOTE_SYSTEM_START_VOTE_REQ, kResultScopeMissing, 403},
        {VOTE_SYSTEM_USER_VOTE_REQ, kResultScopeMissing, 403},
        {VOTE_SYSTEM_START_VOTE_REQ, kResultStartTimePassed, 400},
        {VOTE_SYSTEM_START_VOTE_REQ, kResultStartTimeTooFar, 400},
        {VOTE_SYSTEM_START_VOTE_REQ, kResultNoSchedule, 404},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ResultWords::httpStatus(row.request, row.code), row.status)
            << row.request << "/" << row.code;
}

// Codes 2 and 3 read by the request they answer; the others read the same everywhere.
TEST(ResultWordsTest, ResultsBecomeWordsByTheirRequest)
{
    const struct
    {
        std::uint32_t request;
        std::uint32_t code;
        const char* words;
    } rows[] = {
        {VOTE_SYSTEM_START_VOTE_REQ, kResultOk, "ok"},
        {VOTE_SYSTEM_START_VOTE_REQ, 2, "no such vote"},
        {VOTE_SYSTEM_END_VOTE_REQ, 2, "storage unavailable"},
        {VOTE_SYSTEM_START_VOTE_REQ, 3, "storage unavailable"},
        {VOTE_SYSTEM_END_VOTE_REQ, 3, "no such vote"},
        {VOTE_SYSTEM_CREATE_VOTE_REQ, 3, "refused"},
        {VOTE_SYSTEM_USER_VOTE_REQ, kResultNoTicketsLeft, "no tickets left"},
        {VOTE_SYSTEM_CREATE_VOTE_REQ, kResultStorageUnavailable, "storage unavailable"},
        {VOTE_SYSTEM_START_VOTE_REQ, kResultScopeMissing, "the token lacks the scope this needs"},
        {VOTE_SYSTEM_START_VOTE_REQ, 5, "refused"},
        {VOTE_SYSTEM_START_VOTE_REQ, kResultStartTimePassed, "the start time has passed"},
        {VOTE_SYSTEM_START_VOTE_REQ, 26, "refused"},
    };
    for (const auto& row : rows)
        EXPECT_STREQ(ResultWords::words(row.request, row.code), row.words) << row.request << "/" << row.code;
}

// The viewer page's words (web/assets/shared/resultwords.js) name exactly the codes of resultcode.h.
TEST(ResultWordsTest, ThePagesWordsCoverEveryCodeAndNoOther)
{
    std::ifstream file(QUORIX_WEB_DIR "/assets/shared/resultwords.js");
    ASSERT_TRUE(file) << QUORIX_WEB_DIR;
    const std::string script((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::set<std::uint32_t> pageCodes;
    const std::regex entry(R"(\[(\d+), ')");
    for (auto it = std::sregex_iterator(script.begin(), script.end(), entry); it != std::sregex_iterator();
         ++it)
        pageCodes.insert(static_cast<std::uint32_t>(std::stoul((*it)[1])));
    std::set<std::uint32_t> serviceCodes;
    for (const ResultCodeRow& row : kResultCodes)
        serviceCodes.insert(row.code);
    EXPECT_EQ(pageCodes, serviceCodes);
}

TEST(UserRequestBudgetsTest, PlainRequestsShareOneBudgetPerUser)
{
    UserRequestBudgets budgets(20, 40);
    std::int64_t now = 1000;
    int granted = 0;
    for (int i = 0; i < 50; ++i)
        granted += budgets.take(10, 1, now) ? 1 : 0;
    EXPECT_EQ(granted, 40);
    EXPECT_TRUE(budgets.take(10, 2, now)) << "another user";
    EXPECT_TRUE(budgets.take(11, 1, now)) << "the same uid in another channel";
    now += 100; // two requests' worth at 20 a second
    EXPECT_TRUE(budgets.take(10, 1, now));
    EXPECT_TRUE(budgets.take(10, 1, now));
    EXPECT_FALSE(budgets.take(10, 1, now));

    // The table stays bounded: users whose budget is full again are forgotten first.
    for (std::uint32_t uid = 100; budgets.users() < UserRequestBudgets::kMaxUsers; ++uid)
        budgets.take(12, uid, now);
    now += 2000;
    EXPECT_TRUE(budgets.take(13, 1, now));
    EXPECT_EQ(budgets.users(), 1u);
}

} // namespace
} // namespace quorix::service::test
