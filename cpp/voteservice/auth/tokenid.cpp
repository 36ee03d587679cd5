#include "voteservice/auth/tokenid.h"

#include <openssl/rand.h>

namespace quorix::service {

std::string randomTokenId()
{
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        return {};
    static const char kHex[] = "0123456789abcdef";
    std::string id;
    for (unsigned char byte : bytes) {
        id.push_back(kHex[byte >> 4]);
        id.push_back(kHex[byte & 0x0f]);
    }
    return id;
}

} // namespace quorix::service
