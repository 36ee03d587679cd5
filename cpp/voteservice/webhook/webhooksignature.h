#pragma once

// How a webhook request is signed: X-Quorix-Signature is "sha256=" and the lower-case hex of
// HMAC-SHA256(secret, timestamp + "." + body), timestamp the X-Quorix-Timestamp (Unix seconds).

#include <cstdint>
#include <string>

namespace quorix::service {

class WebhookSignature
{
public:
    static std::string sign(const std::string& secret, std::int64_t timestamp, const std::string& body);
    // 32 random bytes from OpenSSL's generator as 64 hex digits; empty when it has none to give.
    static std::string newSecret();
};

} // namespace quorix::service
