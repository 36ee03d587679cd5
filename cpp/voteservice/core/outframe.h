#pragma once

// One outgoing frame, shared by every session it goes to: a broadcast to ten thousand sessions is
// encoded once. The bytes are the stream form, a u32 length L followed by the L bytes of the frame
// (u32 major type, u32 minor type, u16 payload length, payload), so a transport writes them as
// they are and an in-process host takes frame().

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quorix::service {

class OutFrame
{
public:
    OutFrame() = default;

    // Returns an empty frame (isNull) when the payload is too large for a frame.
    static OutFrame make(std::uint32_t maxType, std::uint32_t minType, const std::string& payload);

    bool isNull() const { return !m_bytes; }
    std::string_view wire() const;
    std::string_view frame() const;

private:
    explicit OutFrame(std::shared_ptr<const std::string> bytes) : m_bytes(std::move(bytes)) {}

    std::shared_ptr<const std::string> m_bytes;
};

} // namespace quorix::service
