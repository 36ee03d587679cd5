#pragma once

// Hex of SHA-256 over a key's algorithm and material: two keys with one kid but other bytes (a
// replaced key) tell apart, without the key itself ever being written anywhere.

#include <string>
#include <string_view>

namespace quorix::service {

std::string keyFingerprint(std::string_view algorithm, std::string_view material);

} // namespace quorix::service
