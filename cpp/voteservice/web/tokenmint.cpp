#include "voteservice/web/tokenmint.h"

#include "voteservice/auth/tokenid.h"
#include "voteservice/auth/tokenverifier.h"

#include <quorix/protocol/jsontext.h>

#include <algorithm>

namespace quorix::service {

namespace {
using Json = nlohmann::ordered_json;

struct Asked
{
    ScopeSet scopes;
    std::optional<std::uint32_t> subChannelId;
    std::int64_t ttlSeconds = TokenMint::kDefaultTtlSeconds;
};

std::optional<WebResponse> readBody(const std::string& body, Asked& asked)
{
    Json json;
    std::string error;
    if (!JsonText::read(body, json, error))
        return WebResponse::error(400, error, "body");
    if (!json.is_object())
        return WebResponse::error(400, "the body is a JSON object", "body");
    for (const auto& [name, value] : json.items()) {
        if (name == "scope") {
            const auto scopes = value.is_string() ? ScopeSet::parse(value.get<std::string>()) : std::nullopt;
            if (!scopes)
                return WebResponse::error(400, "scope is one or more of events, vote, manage", "scope");
            asked.scopes = *scopes;
        } else if (name == "subChannelId") {
            if (!value.is_number_unsigned() || value.get<std::uint64_t>() > 0xffffffffu)
                return WebResponse::error(400, "subChannelId is a sub-channel number", "subChannelId");
            asked.subChannelId = value.get<std::uint32_t>();
        } else if (name == "ttl") {
            if (!value.is_number_unsigned() || value.get<std::uint64_t>() < 60 ||
                value.get<std::uint64_t>() > std::uint64_t(TokenPolicy::kLongestLifetimeSeconds))
                return WebResponse::error(400, "ttl is 60 to 2592000 seconds", "ttl");
            asked.ttlSeconds = value.get<std::int64_t>();
        } else {
            return WebResponse::error(400, "no such member", JsonText::replaceInvalidUtf8(name));
        }
    }
    if (asked.scopes.empty())
        return WebResponse::error(400, "scope is one or more of events, vote, manage", "scope");
    return std::nullopt;
}

WebResponse granted(const std::string& token, const Asked& asked, std::uint32_t channelId,
                    std::optional<std::uint32_t> subChannelId, std::int64_t nowUnix, std::int64_t lifetime)
{
    Json body = Json::object();
    body["token"] = token.empty() ? Json() : Json(token);
    body["scope"] = asked.scopes.words();
    body["channelId"] = channelId;
    body["subChannelId"] = subChannelId ? Json(*subChannelId) : Json();
    body["expiresAt"] = nowUnix + lifetime;
    body["expiresIn"] = lifetime;
    return WebResponse::json(200, body);
}
} // namespace

WebResponse TokenMint::answer(const std::string& body, const Caller& caller, const TokenSigner* signer,
                              std::int64_t nowUnix)
{
    Asked asked;
    if (auto refusal = readBody(body, asked))
        return std::move(*refusal);
    // No token is checked: a link needs none.
    if (!caller.tokensChecked)
        return granted({}, asked, caller.channelId, asked.subChannelId, nowUnix, asked.ttlSeconds);
    if (caller.claims == nullptr)
        return WebResponse::error(403, "only a token's holder may be given a narrower one", "scope");
    const AccessClaims& mine = *caller.claims;
    if (!mine.scopes.contains(asked.scopes) || asked.scopes.has(AccessScope::Metrics))
        return WebResponse::error(403, "a token may not be given scopes its holder lacks", "scope");
    if (mine.subChannelId && asked.subChannelId && *asked.subChannelId != *mine.subChannelId)
        return WebResponse::error(403, "the token is for another sub-channel", "subChannelId");
    const std::optional<std::uint32_t> subChannelId =
        mine.subChannelId ? mine.subChannelId : asked.subChannelId;
    std::int64_t lifetime = std::min(asked.ttlSeconds, caller.maxLifetimeSeconds);
    if (mine.expiresAt != 0)
        lifetime = std::min(lifetime, mine.expiresAt - nowUnix);
    if (lifetime <= 0)
        return WebResponse::error(403, "the caller's token has no lifetime left to give", "ttl");
    if (signer == nullptr)
        return WebResponse::error(503, "this service has no signing key to issue tokens with");
    AccessClaims claims;
    claims.uid = mine.uid;
    claims.imid = mine.imid;
    claims.role = mine.role;
    claims.channelId = mine.channelId;
    claims.subChannelId = subChannelId;
    claims.scopes = asked.scopes;
    claims.issuedAt = nowUnix;
    claims.expiresAt = nowUnix + lifetime;
    claims.tokenId = randomTokenId();
    if (claims.tokenId.empty())
        return WebResponse::error(503, "no random token id could be drawn");
    return granted(signer->sign(claims), asked, mine.channelId, subChannelId, nowUnix, lifetime);
}

} // namespace quorix::service
