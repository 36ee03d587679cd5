#include "voteservice/web/requestidentity.h"

#include "voteservice/core/recordvalidator.h"

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

IdentityOutcome refusedToken(TokenRefusal refusal)
{
    return refused(401, RequestIdentity::refusalText(refusal));
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

// The identity numbers a query names, as the parameters name them.
struct NamedNumber
{
    const char* name;
    std::uint32_t SessionIdentity::*member;
};
constexpr NamedNumber kNumbers[] = {{"uid", &SessionIdentity::uid},
                                    {"imid", &SessionIdentity::imid},
                                    {"role", &SessionIdentity::role},
                                    {"channel", &SessionIdentity::channelId},
                                    {"sub", &SessionIdentity::subChannelId}};

// Reads the numbers and the nick of the query; a refusal names the parameter at fault.
std::optional<IdentityOutcome> readQuery(const IdentityRequest& request, SessionIdentity& who)
{
    const QueryParameters& query = *request.query;
    for (const NamedNumber& number : kNumbers) {
        if (!query.number(number.name, who.*number.member))
            return refused(400, std::string(number.name) + " is not a number", number.name);
    }
    if (!query.has("channel") && request.pathChannel)
        who.channelId = *request.pathChannel;
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

// The request's token checked by the verifier: Missing or Malformed before it gets there.
TokenVerdict verifyToken(const TokenVerifier& verifier, std::int64_t nowUnix, const IdentityRequest& request,
                         const SessionIdentity& asked)
{
    TokenVerdict verdict;
    std::optional<std::string> token = RequestIdentity::bearerOf(request.authorization);
    if (!token) {
        verdict.refusal = TokenRefusal::Malformed;
        return verdict;
    }
    const bool legacy = verifier.policy().acceptLegacy;
    if (token->empty() && legacy) {
        if (const std::string* parameter = request.query->find("token"))
            token = *parameter;
    }
    if (token->empty()) {
        verdict.refusal = TokenRefusal::Missing;
        return verdict;
    }
    if (token->size() > RequestIdentity::kMaxTokenBytes) {
        verdict.refusal = TokenRefusal::Malformed;
        return verdict;
    }
    // A legacy token carries no identity: it is checked against the one the query claims.
    const LegacyIdentity claimed{asked.uid, asked.imid, asked.role, asked.channelId};
    return verifier.verify(*token, nowUnix, legacy ? &claimed : nullptr);
}

// The query's identity parameters that were given must be the claims'.
bool agrees(const QueryParameters& query, const SessionIdentity& asked, const AccessClaims& claims)
{
    const std::pair<const char*, std::uint32_t> given[] = {
        {"uid", asked.uid}, {"imid", asked.imid}, {"role", asked.role}, {"channel", asked.channelId}};
    const std::uint32_t claimed[] = {claims.uid, claims.imid, claims.role, claims.channelId};
    for (std::size_t i = 0; i < std::size(given); ++i) {
        if (query.has(given[i].first) && given[i].second != claimed[i])
            return false;
    }
    return true;
}

IdentityOutcome fromClaims(const IdentityRequest& request, SessionIdentity asked, const AccessClaims& claims)
{
    if (!agrees(*request.query, asked, claims))
        return refusedToken(TokenRefusal::WrongClaims);
    if (request.pathChannel && *request.pathChannel != claims.channelId)
        return refusedToken(TokenRefusal::WrongChannel);
    const bool subAsked = request.query->has("sub") || request.pathSubChannel;
    if (claims.subChannelId && subAsked && asked.subChannelId != *claims.subChannelId)
        return refusedToken(TokenRefusal::WrongChannel);
    IdentityOutcome outcome;
    outcome.identity = std::move(asked);
    SessionIdentity& who = outcome.identity;
    who.uid = claims.uid;
    who.imid = claims.imid;
    who.role = claims.role;
    who.channelId = claims.channelId;
    if (claims.subChannelId)
        who.subChannelId = *claims.subChannelId;
    who.scopes = claims.scopes;
    who.tokenId = claims.tokenId;
    outcome.claims = claims;
    return outcome;
}

IdentityOutcome fromQuery(const IdentityRequest& request, SessionIdentity asked)
{
    if (!request.query->has("uid"))
        return refused(400, "uid missing", "uid");
    if (!request.query->has("channel") && !request.pathChannel)
        return refused(400, "channel missing", "channel");
    if (request.pathChannel && *request.pathChannel != asked.channelId)
        return refused(403, "identity of another channel", "channel");
    IdentityOutcome outcome;
    outcome.identity = std::move(asked);
    return outcome;
}
} // namespace

std::optional<std::string> RequestIdentity::bearerOf(std::string_view authorization)
{
    if (authorization.empty())
        return std::string();
    if (!startsWithNoCase(authorization, "Bearer "))
        return std::nullopt;
    std::string_view token = authorization.substr(7);
    while (!token.empty() && token.front() == ' ')
        token.remove_prefix(1);
    while (!token.empty() && token.back() == ' ')
        token.remove_suffix(1);
    return std::string(token);
}

TokenVerdict RequestIdentity::verifyBearer(const TokenVerifier& verifier, std::string_view authorization,
                                           std::int64_t nowUnix)
{
    TokenVerdict verdict;
    const std::optional<std::string> token = bearerOf(authorization);
    if (!token || token->size() > kMaxTokenBytes)
        verdict.refusal = TokenRefusal::Malformed;
    else if (token->empty())
        verdict.refusal = TokenRefusal::Missing;
    else
        verdict = verifier.verify(*token, nowUnix);
    return verdict;
}

AccessClaims RequestIdentity::claimsOf(const SessionIdentity& identity)
{
    AccessClaims claims;
    claims.uid = identity.uid;
    claims.imid = identity.imid;
    claims.role = identity.role;
    claims.channelId = identity.channelId;
    claims.scopes = identity.scopes;
    return claims;
}

std::string RequestIdentity::refusalText(TokenRefusal refusal)
{
    return std::string("token refused: ") + reasonWord(refusal);
}

IdentityOutcome RequestIdentity::resolve(const TokenVerifier* verifier, std::int64_t nowUnix,
                                         const IdentityRequest& request)
{
    if (!verifier && !request.loopbackPeer)
        return refused(403, "loopback peers only: the service has no keys");
    SessionIdentity asked;
    if (auto refusal = readQuery(request, asked))
        return *refusal;
    if (request.ticketClaims)
        return fromClaims(request, std::move(asked), *request.ticketClaims);
    if (!verifier)
        return fromQuery(request, std::move(asked));
    const TokenVerdict verdict = verifyToken(*verifier, nowUnix, request, asked);
    if (!verdict.accepted())
        return refusedToken(verdict.refusal);
    return fromClaims(request, std::move(asked), verdict.claims);
}

} // namespace quorix::service
