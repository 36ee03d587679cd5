#pragma once

// Who may use the web face, as the server configures it: the token verifier (null without keys),
// where streams opened with a token register their claims so a key reload or a revocation can close
// them, the origins besides a request's own that browsers may come from (--allowed-origin) and the
// peers /metrics answers without a token (--metrics-allow).

#include "voteservice/server/addressrange.h"

#include <string>
#include <vector>

namespace quorix::service {

class OpenCredentials;
class TokenVerifier;

struct WebAccess
{
    const TokenVerifier* verifier = nullptr;
    OpenCredentials* credentials = nullptr;
    std::vector<std::string> allowedOrigins;
    std::vector<AddressRange> metricsPeers = AddressRange::loopback();
};

} // namespace quorix::service
