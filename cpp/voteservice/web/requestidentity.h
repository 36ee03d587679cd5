#pragma once

// Who asks a web request, as the host transport's HELLO establishes it: the identity comes from the
// query parameters uid, imid, role, nick (and channel, sub), and with a secret a token signed for
// exactly uid, imid, role and channel must come with it (Authorization: Bearer, or the token
// parameter when there is no such header). Without a secret only loopback peers are served, on
// their word. Pure: no sockets.

#include "queryparameters.h"
#include "sessionidentity.h"
#include "tokenauth.h"

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
};

struct IdentityOutcome
{
    int status = 200; // 200, or 400, 401, 403 with error (and field)
    std::string error;
    std::string field;
    SessionIdentity identity;
};

class RequestIdentity
{
public:
    static constexpr std::size_t kMaxNickBytes = 96;
    static constexpr std::size_t kMaxTokenBytes = 256;

    // auth is null when the service has no secret.
    static IdentityOutcome resolve(const TokenAuth* auth, std::int64_t nowUnix,
                                   const IdentityRequest& request);

    // The token of a request: the Bearer credentials of the header when there is a header (nullopt
    // when the header is not a Bearer one), else the token parameter, else an empty text.
    static std::optional<std::string> tokenOf(std::string_view authorization, const QueryParameters& query);
};

} // namespace quorix::service
