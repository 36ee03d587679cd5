#pragma once

// One outgoing frame, shared by every session it goes to: a broadcast to ten thousand sessions is
// encoded once. The bytes are the stream form, a u32 length L followed by the L bytes of the frame
// (u32 major type, u32 minor type, u16 payload length, payload), so a transport writes them as
// they are and an in-process host takes frame().
//
// A frame may carry a hold: how long it may wait for the session's next write, so that an answer
// rides in the same packet as the broadcast that follows it. Transports that do not batch writes
// send it at once.

#include <quorix/protocol/serviceframe.h>

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
    // Encodes the message straight into the frame's bytes (no separate payload string); null when
    // the payload is too large. Throws the mpak::PackError encoding the message would.
    template <class Message>
    static OutFrame encode(std::uint32_t maxType, std::uint32_t minType, const Message& message);

    bool isNull() const { return !m_bytes; }
    // This frame, allowed to wait up to ms for the session's next write.
    OutFrame heldUpTo(std::int64_t ms) const
    {
        OutFrame held = *this;
        held.m_holdMs = ms;
        return held;
    }
    std::int64_t holdMs() const { return m_holdMs; }
    std::string_view wire() const;
    std::string_view frame() const;

private:
    explicit OutFrame(std::shared_ptr<const std::string> bytes) : m_bytes(std::move(bytes)) {}
    // Fills in the length prefix and header reserved at the front of bytes; false when the payload
    // behind them is too large for a frame.
    static bool sealHeader(std::string& bytes, std::uint32_t maxType, std::uint32_t minType);

    static constexpr std::size_t kPrefixSize = 4;

    std::shared_ptr<const std::string> m_bytes;
    std::int64_t m_holdMs = 0;
};

template <class Message>
OutFrame OutFrame::encode(std::uint32_t maxType, std::uint32_t minType, const Message& message)
{
    auto bytes = std::make_shared<std::string>();
    // A message of fixed layout measures without encoding: the bytes are then one allocation.
    if constexpr (mpak::isDirect<Message>)
        bytes->reserve(kPrefixSize + mpak::kFrameHeaderSize + mpak::wireSize(message));
    bytes->resize(kPrefixSize + mpak::kFrameHeaderSize);
    mpak::encodeTo(*bytes, message);
    if (!sealHeader(*bytes, maxType, minType))
        return {};
    return OutFrame(std::move(bytes));
}

} // namespace quorix::service
