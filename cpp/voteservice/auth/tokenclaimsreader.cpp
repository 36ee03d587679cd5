#include "voteservice/auth/tokenclaimsreader.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>

namespace quorix::service {

namespace {

using nlohmann::json;

// A NumericDate (RFC 7519 §2): seconds, possibly with a fraction, which is dropped.
bool readTime(const json& value, std::int64_t& seconds)
{
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() && value.get<std::uint64_t>() > (1ull << 53))
            return false;
        seconds = value.get<std::int64_t>();
        return seconds >= -(1ll << 53) && seconds <= (1ll << 53);
    }
    if (!value.is_number_float())
        return false;
    const double number = value.get<double>();
    if (!std::isfinite(number) || std::fabs(number) > 9007199254740992.0)
        return false;
    seconds = static_cast<std::int64_t>(std::floor(number));
    return true;
}

bool readNumber(const json& value, std::uint32_t& number)
{
    if (!value.is_number_unsigned() || value.get<std::uint64_t>() > std::numeric_limits<std::uint32_t>::max())
        return false;
    number = static_cast<std::uint32_t>(value.get<std::uint64_t>());
    return true;
}

// `sub`: the uid as a decimal string without sign or leading zeros.
bool readSubject(const json& value, std::uint32_t& uid)
{
    if (!value.is_string())
        return false;
    const std::string& text = value.get_ref<const std::string&>();
    if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0'))
        return false;
    std::uint64_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + std::uint64_t(c - '0');
    }
    if (number > std::numeric_limits<std::uint32_t>::max())
        return false;
    uid = static_cast<std::uint32_t>(number);
    return true;
}

bool readIdentity(const json& payload, AccessClaims& claims)
{
    const auto sub = payload.find("sub"), imid = payload.find("imid"), role = payload.find("role"),
               channel = payload.find("channel"), scope = payload.find("scope");
    const auto end = payload.end();
    if (sub == end || imid == end || role == end || channel == end || scope == end)
        return false;
    if (!readSubject(*sub, claims.uid) || !readNumber(*imid, claims.imid) ||
        !readNumber(*role, claims.role) || !readNumber(*channel, claims.channelId) || !scope->is_string())
        return false;
    const auto scopes = ScopeSet::parse(scope->get_ref<const std::string&>());
    if (!scopes)
        return false;
    claims.scopes = *scopes;
    return true;
}

bool readOptionalParts(const json& payload, AccessClaims& claims)
{
    if (const auto it = payload.find("sub_channel"); it != payload.end()) {
        std::uint32_t subChannel = 0;
        if (!readNumber(*it, subChannel))
            return false;
        claims.subChannelId = subChannel;
    }
    if (const auto it = payload.find("jti"); it != payload.end()) {
        if (!it->is_string() ||
            it->get_ref<const std::string&>().size() > TokenClaimsReader::kMaxTokenIdBytes)
            return false;
        claims.tokenId = it->get<std::string>();
    }
    return true;
}

} // namespace

TokenRefusal TokenClaimsReader::read(const json& payload, AccessClaims& claims, bool& hasIssuedAt,
                                     std::int64_t& notBefore)
{
    if (!payload.is_object() || !readIdentity(payload, claims) || !readOptionalParts(payload, claims))
        return TokenRefusal::Malformed;
    const auto exp = payload.find("exp"), iat = payload.find("iat"), nbf = payload.find("nbf");
    hasIssuedAt = iat != payload.end();
    notBefore = std::numeric_limits<std::int64_t>::min();
    if ((hasIssuedAt && !readTime(*iat, claims.issuedAt)) ||
        (nbf != payload.end() && !readTime(*nbf, notBefore)))
        return TokenRefusal::Malformed;
    if (exp == payload.end())
        return TokenRefusal::NoExpiry;
    return readTime(*exp, claims.expiresAt) ? TokenRefusal::None : TokenRefusal::Malformed;
}

} // namespace quorix::service
