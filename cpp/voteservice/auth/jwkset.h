#pragma once

// The keys of a JWK Set (RFC 7517, {"keys":[…]}) as the verifier holds them: EC P-256 keys
// (`kty` "EC", `crv` "P-256", `x`, `y`, never the private `d`) for ES256, with their public key as PEM, and
// "oct" keys
// (`k`, at least 16 bytes) for HS256. Every key needs a `kid` of its own; an `alg` that is given
// must be the key's; a `use` that is given must be "sig".

#include "voteservice/auth/keyset.h"

#include <string>
#include <string_view>
#include <vector>

namespace quorix::service {

class JwkSet
{
public:
    static constexpr std::size_t kMaxKeys = 256;

    // False with what is wrong (naming the key by its place or kid); keys holds the set otherwise.
    static bool parse(std::string_view text, std::vector<KeySet::Key>& keys, std::string& error);
    // Reads and parses a JWK Set file of at most KeySet::kMaxJwkSetFileBytes: its text and its keys,
    // or false with a message naming the file.
    static bool readFile(const std::string& path, std::string& text, std::vector<KeySet::Key>& keys,
                         std::string& error);
};

} // namespace quorix::service
