#pragma once

// What `quorix-voted keygen` writes: a new ES256 key pair, the private key as PEM (mode 0600,
// never over an existing file) and its public key, under its RFC 7638 thumbprint as kid, in a JWK
// Set file. A set that is already there keeps its keys and gains the new one, so that a new key can
// be published before the old one is removed; the set is replaced whole (a temporary file renamed
// over it), so a service rereading it never sees half a file.

#include <cstddef>
#include <string>

namespace quorix::service {

class KeyPairFiles
{
public:
    struct Written
    {
        std::string keyId;
        std::size_t keysInSet = 0;
    };

    // False with a message naming the file when the set cannot be read or is not a JWK Set, the
    // private key file exists or cannot be written, or the set cannot be replaced; then nothing is
    // left behind.
    static bool write(const std::string& privateKeyPath, const std::string& jwksPath, Written& written,
                      std::string& error);
};

} // namespace quorix::service
