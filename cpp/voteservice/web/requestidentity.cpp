#include "requestidentity.h"

#include "recordvalidator.h"

#include <cctype>

namespace quorix::service {

namespace {
IdentityOutcome refused(int status, std::string error, std::string field = {})
{
    IdentityOutcome outcome;
    outcome.status = status;
    outcome.error = std::move(error);
    outcome.field = std::move(field);
    return outcome;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

// Reads the numbers and the nick of the identity; a refusal names the parameter at fault.
std::optional<IdentityOutcome> readClaims(const IdentityRequest& request, SessionIdentity& who)
{
    const QueryParameters& query = *request.query;
    if (!query.has("uid"))
        return refused(400, "uid missing", "uid");
    for (const auto& [name, value] : {std::pair<const char*, std::uint32_t*>{"uid", &who.uid},
                                      {"imid", &who.imid},
                                      {"role", &who.role},
                                      {"channel", &who.channelId},
                                      {"sub", &who.subChannelId}}) {
        if (!query.number(name, *value))
            return refused(400, std::string(name) + " is not a number", name);
    }
    if (!query.has("channel")) {
        if (!request.pathChannel)
            return refused(400, "channel missing", "channel");
        who.channelId = *request.pathChannel;
    }
    if (request.pathSubChannel)
        who.subChannelId = *request.pathSubChannel;
    if (const std::string* nick = query.find("nick")) {
        if (nick->size() > RequestIdentity::kMaxNickBytes)
            return refused(400, "nick over 96 bytes", "nick");
        if (RecordValidator::utf8Length(*nick) == std::string::npos)
            return refused(400, "nick not UTF-8", "nick");
        who.nick = *nick;
    }
    return std::nullopt;
}
} // namespace

std::optional<std::string> RequestIdentity::tokenOf(std::string_view authorization,
                                                    const QueryParameters& query)
{
    if (!authorization.empty()) {
        if (!startsWithNoCase(authorization, "Bearer "))
            return std::nullopt;
        std::string_view token = authorization.substr(7);
        while (!token.empty() && token.front() == ' ')
            token.remove_prefix(1);
        while (!token.empty() && token.back() == ' ')
            token.remove_suffix(1);
        return std::string(token);
    }
    const std::string* token = query.find("token");
    return token ? *token : std::string();
}

IdentityOutcome RequestIdentity::resolve(const TokenAuth* auth, std::int64_t nowUnix,
                                         const IdentityRequest& request)
{
    if (!auth && !request.loopbackPeer)
        return refused(403, "loopback peers only: the service has no secret");
    IdentityOutcome outcome;
    if (auto refusal = readClaims(request, outcome.identity))
        return *refusal;
    const SessionIdentity& who = outcome.identity;
    if (auth) {
        const auto token = tokenOf(request.authorization, *request.query);
        if (!token)
            return refused(401, "Authorization is not a Bearer token");
        if (token->size() > kMaxTokenBytes)
            return refused(401, "token over 256 bytes", "token");
        const TokenCheck check =
            auth->check(*token, TokenClaims{who.uid, who.imid, who.role, who.channelId}, nowUnix);
        if (check != TokenCheck::Valid)
            return refused(401, std::string("token refused: ") + TokenAuth::describe(check));
    }
    if (request.pathChannel && *request.pathChannel != who.channelId)
        return refused(403, "identity of another channel", "channel");
    return outcome;
}

} // namespace quorix::service
