#pragma once

// Base64url without padding (RFC 4648 §5), as JSON Web Tokens and JWKs write their binary parts.

#include <optional>
#include <string>
#include <string_view>

namespace quorix::service {

std::string base64UrlEncode(std::string_view bytes);
// Nullopt for a character outside the alphabet, padding, or a length no encoding has.
std::optional<std::string> base64UrlDecode(std::string_view text);

} // namespace quorix::service
