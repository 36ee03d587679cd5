#pragma once

// Decoding of UTF-8 as the service accepts it: shortest forms only, no surrogates, nothing above
// U+10FFFF.

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorix::service {

// Decodes the character starting at text[pos] into codePoint and returns its length in bytes, or 0
// when the bytes there are not a valid UTF-8 character (codePoint is then unspecified).
std::size_t decodeUtf8(const std::string& text, std::size_t pos, std::uint32_t& codePoint);

} // namespace quorix::service
