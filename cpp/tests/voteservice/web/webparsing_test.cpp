// The web face's pure steps: query parsing, routing, who asks, the viewer's messages and how core
// results become HTTP statuses.

#include "queryparameters.h"
#include "requestidentity.h"
#include "resultcode.h"
#include "resultwords.h"
#include "sessionrequestparser.h"
#include "userrequestbudgets.h"
#include "webrouter.h"

#include <quorix/protocol/votemessages.h>

#include <gtest/gtest.h>

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
        {"DELETE", "/api/v1/channels/10/votes", 405, std::nullopt, 0, 0, "GET, HEAD"},
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

TEST(RequestIdentityTest, TokensAndLoopbackDecideWhoAsks)
{
    const TokenAuth auth("0123456789abcdef-secret");
    const std::int64_t now = 1800000000;
    const std::string good = auth.issue({5, 6, 255, 10}, now + 60);
    const std::string expired = auth.issue({5, 6, 255, 10}, now - 1);
    struct Row
    {
        const char* name;
        bool secret;
        bool loopback;
        std::string authorization;
        std::string query;
        std::optional<std::uint32_t> pathChannel;
        int status;
        const char* field;
    };
    const Row rows[] = {
        {"trusted loopback", false, true, "", "uid=5&role=255&sub=3&nick=Ann", 10u, 200, ""},
        {"remote without secret", false, false, "", "uid=5", 10u, 403, ""},
        {"uid missing", false, true, "", "role=1", 10u, 400, "uid"},
        {"uid not a number", false, true, "", "uid=abc", 10u, 400, "uid"},
        {"nick not UTF-8", false, true, "", "uid=5&nick=%FF", 10u, 400, "nick"},
        {"channel missing", false, true, "", "uid=5", std::nullopt, 400, "channel"},
        {"other channel", false, true, "", "uid=5&channel=11", 10u, 403, "channel"},
        {"bearer token", true, false, "Bearer " + good, "uid=5&imid=6&role=255", 10u, 200, ""},
        {"token parameter", true, true, "", "uid=5&imid=6&role=255&token=" + good, 10u, 200, ""},
        {"header wins", true, true, "Bearer bad", "uid=5&imid=6&role=255&token=" + good, 10u, 401, ""},
        {"not bearer", true, true, "Basic abc", "uid=5&imid=6&role=255", 10u, 401, ""},
        {"no token", true, true, "", "uid=5&imid=6&role=255", 10u, 401, ""},
        {"expired", true, true, "Bearer " + expired, "uid=5&imid=6&role=255", 10u, 401, ""},
        {"claims another role", true, true, "Bearer " + good, "uid=5&imid=6&role=0", 10u, 401, ""},
        {"token of another channel", true, true, "Bearer " + good, "uid=5&imid=6&role=255", 11u, 401, ""},
        {"channel parameter, other path", true, true, "Bearer " + good, "uid=5&imid=6&role=255&channel=10",
         11u, 403, "channel"},
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
        const IdentityOutcome outcome = RequestIdentity::resolve(row.secret ? &auth : nullptr, now, request);
        EXPECT_EQ(outcome.status, row.status) << row.name << ": " << outcome.error;
        EXPECT_EQ(outcome.field, row.field) << row.name;
    }
    std::string field;
    const auto query = QueryParameters::parse("uid=5&role=255&sub=3&nick=Ann", field);
    IdentityRequest request;
    request.query = &*query;
    request.loopbackPeer = true;
    request.pathChannel = 10;
    const SessionIdentity who = RequestIdentity::resolve(nullptr, now, request).identity;
    EXPECT_EQ(who.uid, 5u);
    EXPECT_EQ(who.role, 255u);
    EXPECT_EQ(who.channelId, 10u);
    EXPECT_EQ(who.subChannelId, 3u);
    EXPECT_EQ(who.nick, "Ann");
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
    };
    for (const Row& row : rows)
        EXPECT_EQ(ResultWords::httpStatus(row.request, row.code), row.status)
            << row.request << "/" << row.code;
    EXPECT_STREQ(ResultWords::words(VOTE_SYSTEM_END_VOTE_REQ, kResultEndNotFound), "no such vote");
    EXPECT_STREQ(ResultWords::words(VOTE_SYSTEM_USER_VOTE_REQ, kResultNoTicketsLeft), "no tickets left");
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
