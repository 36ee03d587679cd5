#pragma once

// Who asks a web request. With token checks (keys configured) the identity is the claims of a
// verified token: a JSON Web Token in `Authorization: Bearer` (the `token` query parameter only
// under --accept-legacy-tokens), or those a ticket (?ticket=) was bought with. The query parameters
// uid, imid, role and channel may be given and must then agree with the claims; nick comes from
// the query. Without keys only loopback peers are served, identified by the query parameters as a
// host without a token is. Pure: no sockets.

#include "voteservice/auth/accessclaims.h"
#include "voteservice/web/queryparameters.h"
#include "voteservice/core/sessionidentity.h"
#include "voteservice/auth/tokenverifier.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorix::service {

struct IdentityRequest
{
    std::string_view authorization; // the header's value, empty when absent
    const QueryParameters* query = nullptr;
    bool loopbackPeer = false;
    // The channel and sub-channel the path names, when it names them.
    std::optional<std::uint32_t> pathChannel;
    std::optional<std::uint32_t> pathSubChannel;
    // The claims a redeemed ticket carried: they stand in for the token.
    const AccessClaims* ticketClaims = nullptr;
};

struct IdentityOutcome
{
    int status = 200; // 200, or 400, 401, 403 with error (and field)
    std::string error;
    std::string field;
    SessionIdentity identity;
    // The claims that gave the identity (a token's or a ticket's); unset without them.
    std::optional<AccessClaims> claims;
};

class RequestIdentity
{
public:
    static constexpr std::size_t kMaxNickBytes = 96;
    static constexpr std::size_t kMaxTokenBytes = 2048;

    // verifier is null when the service has no keys.
    static IdentityOutcome resolve(const TokenVerifier* verifier, std::int64_t nowUnix,
                                   const IdentityRequest& request);

    // The credentials of an Authorization header: empty when there is no header, nullopt when it
    // is not a Bearer one.
    static std::optional<std::string> bearerOf(std::string_view authorization);
    // A Bearer token alone, checked without an identity to compare (/metrics).
    static TokenVerdict verifyBearer(const TokenVerifier& verifier, std::string_view authorization,
                                     std::int64_t nowUnix);
    // The claims a ticket is bound to where no token gave any (no keys): the identity's numbers
    // (not its sub-channel) and every scope.
    static AccessClaims claimsOf(const SessionIdentity& identity);
    // The `error` of a 401: "token refused: expired" and the like, never a part of the token.
    static std::string refusalText(TokenRefusal refusal);
};

} // namespace quorix::service
