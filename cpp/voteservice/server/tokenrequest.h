#pragma once

#include "tokenauth.h"

#include <cstdint>
#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace quorix::service {

// What `quorix-voted token` is asked to sign: an identity, with the secret from a file, valid
// until a given second or for a time from now.
struct TokenRequest
{
    std::optional<std::string> secret;
    TokenClaims claims;
    std::optional<std::uint64_t> expiry; // Unix seconds
    std::uint64_t ttlSeconds = 86400;    // from now, when no expiry was given

    // Adds the command's options to command, each kept in a field of this as the parse reads it.
    void addOptionsTo(CLI::App& command);
    // After command parsed the options: the expiry to sign, or false with a message when the
    // secret or a part of the identity is missing, or the expiry has already passed at now.
    bool expiryAt(const CLI::App& command, std::int64_t now, std::int64_t& at, std::string& error) const;
};

} // namespace quorix::service
