#include "voteservice/auth/base64url.h"

#include <array>
#include <cstdint>

namespace quorix::service {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

constexpr std::array<std::int8_t, 256> decodeTable()
{
    std::array<std::int8_t, 256> table{};
    for (auto& value : table)
        value = -1;
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
    return table;
}

constexpr std::array<std::int8_t, 256> kDecode = decodeTable();

} // namespace

std::string base64UrlEncode(std::string_view bytes)
{
    std::string text;
    text.reserve((bytes.size() * 4 + 2) / 3);
    std::uint32_t bits = 0;
    int count = 0;
    for (unsigned char byte : bytes) {
        bits = (bits << 8) | byte;
        count += 8;
        while (count >= 6) {
            count -= 6;
            text.push_back(kAlphabet[(bits >> count) & 0x3f]);
        }
    }
    if (count > 0)
        text.push_back(kAlphabet[(bits << (6 - count)) & 0x3f]);
    return text;
}

std::optional<std::string> base64UrlDecode(std::string_view text)
{
    // A single character left over carries less than a byte: no encoder writes that.
    if (text.size() % 4 == 1)
        return std::nullopt;
    std::string bytes;
    bytes.reserve(text.size() * 3 / 4);
    std::uint32_t bits = 0;
    int count = 0;
    for (unsigned char c : text) {
        const int value = kDecode[c];
        if (value < 0)
            return std::nullopt;
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes.push_back(static_cast<char>((bits >> count) & 0xff));
        }
    }
    // The bits below the last byte must be zero, so that one token has one spelling.
    if ((bits & ((1u << count) - 1)) != 0)
        return std::nullopt;
    return bytes;
}

} // namespace quorix::service
