#pragma once

// The envelope the service link puts around every message body:
//   u32 major type, u32 minor type, u16 payload length n, n payload bytes (little-endian).
// Bytes after the payload are ignored when reading.

#include <quorix/protocol/mpak.h>

#include <cstdint>
#include <string>

namespace mpak {

constexpr std::size_t kFrameHeaderSize = 10;
constexpr std::size_t kMaxFramePayload = 65535;

struct ServiceFrame
{
    std::uint32_t maxType = 0;
    std::uint32_t minType = 0;
    std::string payload;
};

// Throws PackError "push_varstr: szMsg too big" for a payload over 65535 bytes. The frame is
// built in one allocation: header, then the payload.
inline std::string encodeFrame(std::uint32_t maxType, std::uint32_t minType, const std::string& payload)
{
    if (payload.size() > kMaxFramePayload)
        throw PackError("push_varstr: szMsg too big");
    char header[kFrameHeaderSize];
    detail::put_uint16(detail::put_uint32(detail::put_uint32(header, maxType), minType),
                       static_cast<std::uint16_t>(payload.size()));
    std::string frame;
    frame.reserve(kFrameHeaderSize + payload.size());
    frame.append(header, kFrameHeaderSize);
    frame.append(payload);
    return frame;
}

// Throws UnpackError when the frame is shorter than its header or its declared payload.
inline ServiceFrame decodeFrame(const char* bytes, std::size_t size)
{
    Unpack up(bytes, size);
    ServiceFrame frame;
    frame.maxType = up.pop_uint32();
    frame.minType = up.pop_uint32();
    const std::uint16_t n = up.pop_uint16();
    frame.payload.assign(up.pop_fetch_ptr(n), n);
    return frame;
}

inline ServiceFrame decodeFrame(const std::string& bytes)
{
    return decodeFrame(bytes.data(), bytes.size());
}

} // namespace mpak
