#include "voteservice/webhook/webhooksignature.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

namespace quorix::service {

namespace {

std::string hex(const unsigned char* bytes, std::size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0xf];
    }
    return text;
}

} // namespace

std::string WebhookSignature::sign(const std::string& secret, std::int64_t timestamp, const std::string& body)
{
    const std::string signed_ = std::to_string(timestamp) + "." + body;
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    HMAC(EVP_sha256(), secret.data(), static_cast<int>(secret.size()),
         reinterpret_cast<const unsigned char*>(signed_.data()), signed_.size(), mac, &size);
    return "sha256=" + hex(mac, size);
}

std::string WebhookSignature::newSecret()
{
    unsigned char bytes[32];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        return {};
    return hex(bytes, sizeof bytes);
}

} // namespace quorix::service
