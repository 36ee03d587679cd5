#pragma once

// Who may use the web face, as the server configures it: the token verifier (null without keys),
// the signer a manager's narrower tokens are issued with (asked afresh each time: a reload may
// replace or remove the key; null or answering null: none),
// where streams opened with a token register their claims so a key reload or a revocation can close
// them, the origins besides a request's own that browsers may come from (--allowed-origin) and the
// peers /metrics answers without a token (--metrics-allow).

#include "voteservice/server/addressrange.h"

#include <functional>
#include <string>
#include <vector>

namespace quorix::service {

class OpenCredentials;
class TokenSigner;
class TokenVerifier;

struct WebAccess
{
    const TokenVerifier* verifier = nullptr;
    std::function<const TokenSigner*()> signer;
    OpenCredentials* credentials = nullptr;
    std::vector<std::string> allowedOrigins;
    std::vector<AddressRange> metricsPeers = AddressRange::loopback();
};

} // namespace quorix::service
