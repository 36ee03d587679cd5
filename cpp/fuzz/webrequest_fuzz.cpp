// The web face's request readers. The first input byte chooses what the rest is:
//   0: a method, a line break and a request target for the router;
//   1: a query string;
//   2: an Authorization header value, a line break and a query, for the identity step with a
//      secret and without one;
//   3: a /session WebSocket message.
// Each answer must be one the reader documents: a known status with its details, a request with
// its fields, or a refusal with a reason.

#include "voteservice/web/queryparameters.h"
#include "voteservice/web/requestidentity.h"
#include "voteservice/web/sessionrequestparser.h"
#include "voteservice/web/webrouter.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace quorix::service;

[[noreturn]] void fault(const char* what)
{
    std::fprintf(stderr, "web request fuzz: %s\n", what);
    std::abort();
}

std::pair<std::string, std::string> splitLine(const std::string& text)
{
    const std::size_t at = text.find('\n');
    if (at == std::string::npos)
        return {text, {}};
    return {text.substr(0, at), text.substr(at + 1)};
}

void route(const std::string& input)
{
    const auto [method, target] = splitLine(input);
    const WebRoute result = WebRouter::route(method, target);
    if (result.status == 200 && !result.endpoint)
        fault("200 without an endpoint");
    if (result.status == 405 && result.allow.empty())
        fault("405 without Allow");
    if (result.status != 200 && result.status != 404 && result.status != 405)
        fault("unexpected route status");
    if (result.query.data() != nullptr && !result.query.empty() &&
        target.find(std::string(result.query)) == std::string::npos)
        fault("query not taken from the target");
}

void query(const std::string& input)
{
    std::string field;
    const auto parsed = QueryParameters::parse(input, field);
    if (!parsed && field.empty())
        fault("refusal without a field");
    if (!parsed)
        return;
    std::uint32_t number = 0;
    for (const char* name : {"uid", "sub", "since"}) {
        const std::string* text = parsed->find(name);
        if (parsed->number(name, number) !=
            (text == nullptr || QueryParameters::parseNumber(*text).has_value()))
            fault("number() disagrees with parseNumber()");
    }
}

void identity(const std::string& input)
{
    static const TokenVerifier verifier(KeySet::fromSecret("fuzz-secret-0123456789"), TokenPolicy{});
    const auto [authorization, text] = splitLine(input);
    std::string field;
    const auto parsed = QueryParameters::parse(text, field);
    if (!parsed)
        return;
    for (const TokenVerifier* keys : {&verifier, static_cast<const TokenVerifier*>(nullptr)}) {
        IdentityRequest request;
        request.authorization = authorization;
        request.query = &*parsed;
        request.loopbackPeer = true;
        request.pathChannel = 10;
        const IdentityOutcome outcome = RequestIdentity::resolve(keys, 1800000000, request);
        if (outcome.status != 200 && outcome.error.empty())
            fault("refusal without a reason");
        if (outcome.status == 200 && outcome.identity.nick.size() > RequestIdentity::kMaxNickBytes)
            fault("nick over the bound accepted");
        if (outcome.status == 200 && outcome.identity.channelId != 10)
            fault("identity of another channel accepted");
    }
}

void sessionMessage(const std::string& input)
{
    const ParsedSessionRequest parsed = SessionRequestParser::parse(input);
    if (!parsed.request && parsed.error.empty())
        fault("refusal without a reason");
    if (parsed.request && !parsed.error.empty())
        fault("request with an error");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 4) {
    case 0:
        route(rest);
        break;
    case 1:
        query(rest);
        break;
    case 2:
        identity(rest);
        break;
    default:
        sessionMessage(rest);
        break;
    }
    return 0;
}
