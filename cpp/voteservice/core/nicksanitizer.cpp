#include "voteservice/core/nicksanitizer.h"

#include "voteservice/core/utf8.h"

namespace quorix::service {

namespace {

constexpr std::uint32_t kEscape = 0x1b;
constexpr std::uint32_t kControlSequenceIntroducer = 0x9b;
constexpr std::uint32_t kOperatingSystemCommand = 0x9d;

bool inRange(std::uint32_t value, std::uint32_t first, std::uint32_t last)
{
    return value >= first && value <= last;
}

} // namespace

bool NickSanitizer::isForbidden(std::uint32_t codePoint)
{
    return codePoint < 0x20 || inRange(codePoint, 0x7f, 0x9f) // C0, DEL, C1
           || codePoint == 0x061c                             // Arabic letter mark
           || inRange(codePoint, 0x200e, 0x200f)              // left-to-right and right-to-left marks
           || inRange(codePoint, 0x2028, 0x202e)              // separators, embeddings, overrides
           || inRange(codePoint, 0x2066, 0x2069);             // isolates
}

std::string NickSanitizer::clean(const std::string& nick, std::uint32_t uid)
{
    std::string cleaned = stripped(nick);
    cutToLimit(cleaned);
    return cleaned.empty() ? std::to_string(uid) : cleaned;
}

std::string NickSanitizer::stripped(const std::string& nick)
{
    std::string kept;
    kept.reserve(nick.size());
    for (std::size_t pos = 0; pos < nick.size();) {
        std::uint32_t codePoint = 0;
        const std::size_t charBytes = decodeUtf8(nick, pos, codePoint);
        if (charBytes == 0) {
            ++pos; // not UTF-8: this byte goes, the next one is looked at afresh
            continue;
        }
        if (const std::size_t sequence = escapeLength(nick, pos, codePoint, charBytes)) {
            pos += sequence;
            continue;
        }
        if (!isForbidden(codePoint))
            kept.append(nick, pos, charBytes);
        pos += charBytes;
    }
    return kept;
}

std::size_t NickSanitizer::escapeLength(const std::string& text, std::size_t pos, std::uint32_t codePoint,
                                        std::size_t charBytes)
{
    std::size_t body = pos + charBytes;
    char kind = 0;
    if (codePoint == kEscape && body < text.size() && (text[body] == '[' || text[body] == ']'))
        kind = text[body++];
    else if (codePoint == kControlSequenceIntroducer)
        kind = '[';
    else if (codePoint == kOperatingSystemCommand)
        kind = ']';
    else
        return 0;
    const std::size_t end = kind == '[' ? controlSequenceEnd(text, body) : commandStringEnd(text, body);
    return end - pos;
}

std::size_t NickSanitizer::controlSequenceEnd(const std::string& text, std::size_t pos)
{
    // Parameter and intermediate bytes, then one final byte.
    while (pos < text.size() && inRange(static_cast<unsigned char>(text[pos]), 0x20, 0x3f))
        ++pos;
    if (pos < text.size() && inRange(static_cast<unsigned char>(text[pos]), 0x40, 0x7e))
        ++pos;
    return pos;
}

std::size_t NickSanitizer::commandStringEnd(const std::string& text, std::size_t pos)
{
    // Up to BEL or the string terminator ESC backslash; an unterminated one runs to the end.
    for (; pos < text.size(); ++pos) {
        if (text[pos] == '\a')
            return pos + 1;
        if (text[pos] == '\x1b' && pos + 1 < text.size() && text[pos + 1] == '\\')
            return pos + 2;
    }
    return pos;
}

void NickSanitizer::cutToLimit(std::string& text)
{
    if (text.size() <= kMaxNickBytes)
        return;
    std::size_t end = kMaxNickBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80)
        --end;
    text.resize(end);
}

} // namespace quorix::service
