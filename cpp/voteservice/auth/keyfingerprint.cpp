#include "voteservice/auth/keyfingerprint.h"

#include <openssl/evp.h>

namespace quorix::service {

namespace {

std::string sha256Hex(std::string_view bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * size);
    for (unsigned int i = 0; i < size; ++i) {
        hex.push_back(kHex[digest[i] >> 4]);
        hex.push_back(kHex[digest[i] & 0x0f]);
    }
    return hex;
}

} // namespace

std::string keyFingerprint(std::string_view algorithm, std::string_view material)
{
    std::string text(algorithm);
    text.push_back('\0');
    text.append(material);
    return sha256Hex(text);
}

} // namespace quorix::service
