#include "winapi.h"

#include <string>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at src[i]; advances i. Malformed input yields kReplacement and
// consumes one byte, so decoding always moves on.
char32_t decodeOne(const unsigned char* src, int length, int& i, bool& invalid)
{
    const unsigned char lead = src[i++];
    if (lead < 0x80)
        return lead;
    int extra = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07;
        minimum = 0x10000;
    } else {
        invalid = true;
        return kReplacement;
    }
    if (i + extra > length) {
        invalid = true;
        return kReplacement;
    }
    for (int k = 0; k < extra; ++k) {
        if ((src[i + k] & 0xC0) != 0x80) {
            invalid = true;
            return kReplacement;
        }
        cp = (cp << 6) | (src[i + k] & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        invalid = true;
        return kReplacement;
    }
    i += extra;
    return cp;
}

void appendWide(std::wstring& out, char32_t cp)
{
    if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
        cp -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (cp >> 10));
        out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
        return;
    }
    out += static_cast<wchar_t>(cp);
}

} // namespace

int MultiByteToWideChar(UINT, DWORD flags, LPCSTR src, int srcLength, LPWSTR dst, int dstSize)
{
    if (src == nullptr || srcLength == 0 || srcLength < -1 || dstSize < 0 ||
        (dstSize > 0 && dst == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const int length =
        srcLength == -1 ? static_cast<int>(std::char_traits<char>::length(src)) + 1 : srcLength;
    const auto* bytes = reinterpret_cast<const unsigned char*>(src);
    std::wstring wide;
    bool invalid = false;
    for (int i = 0; i < length;)
        appendWide(wide, decodeOne(bytes, length, i, invalid));
    if (invalid && (flags & MB_ERR_INVALID_CHARS) != 0) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    const int needed = static_cast<int>(wide.size());
    if (dstSize == 0)
        return needed;
    if (needed > dstSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    wide.copy(dst, wide.size());
    return needed;
}
