#include "voteservice/core/utf8.h"

namespace quorix::service {

namespace {

// Bytes that follow the lead byte, and the lead byte's share of the code point; false for a byte
// that cannot start a character (a continuation byte, or a lead of an overlong or too large form).
bool leadByte(unsigned char lead, std::size_t& extra, std::uint32_t& bits)
{
    if (lead < 0x80) {
        extra = 0;
        bits = lead;
    } else if (lead >= 0xc2 && lead <= 0xdf) {
        extra = 1;
        bits = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        extra = 2;
        bits = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        extra = 3;
        bits = lead & 0x07;
    } else {
        return false;
    }
    return true;
}

} // namespace

std::size_t decodeUtf8(const std::string& text, std::size_t pos, std::uint32_t& codePoint)
{
    std::size_t extra = 0;
    if (pos >= text.size() || !leadByte(static_cast<unsigned char>(text[pos]), extra, codePoint))
        return 0;
    if (text.size() - pos <= extra)
        return 0;
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto cont = static_cast<unsigned char>(text[pos + k]);
        if ((cont & 0xc0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (cont & 0x3f);
    }
    const bool overlong = (extra == 2 && codePoint < 0x800) || (extra == 3 && codePoint < 0x10000);
    if (overlong || codePoint > 0x10ffff || (codePoint >= 0xd800 && codePoint <= 0xdfff))
        return 0;
    return extra + 1;
}

} // namespace quorix::service
