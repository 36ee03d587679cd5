#pragma once

// The nick a client gives is its own word (a token does not sign it). Before the service stores or
// shows one it drops what could disguise or break the text around it: bytes that are not UTF-8,
// C0 and C1 controls (NUL, ESC, line breaks, DEL) together with the terminal escape sequences they
// introduce, the line and paragraph separators, and the marks, embeddings, overrides and isolates
// that change text direction. Stripping rather than refusing keeps older clients working.

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorix::service {

class NickSanitizer
{
public:
    // The most bytes a nick keeps; what a HELLO may carry.
    static constexpr std::size_t kMaxNickBytes = 96;

    // The nick cleaned as above and cut to kMaxNickBytes on a character boundary; the uid in
    // decimal when nothing is left of it.
    static std::string clean(const std::string& nick, std::uint32_t uid);

    // Characters a nick never keeps.
    static bool isForbidden(std::uint32_t codePoint);

private:
    static std::string stripped(const std::string& nick);
    // Bytes of the escape sequence (ESC [ or ESC ], or the C1 CSI or OSC) of the character at pos,
    // or 0 when no such sequence starts there.
    static std::size_t escapeLength(const std::string& text, std::size_t pos, std::uint32_t codePoint,
                                    std::size_t charBytes);
    static std::size_t controlSequenceEnd(const std::string& text, std::size_t pos);
    static std::size_t commandStringEnd(const std::string& text, std::size_t pos);
    static void cutToLimit(std::string& text);
};

} // namespace quorix::service
