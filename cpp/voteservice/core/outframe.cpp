#include "voteservice/core/outframe.h"

#include <quorix/protocol/serviceframe.h>

namespace quorix::service {

namespace {
void appendU32(std::string& out, std::uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((v >> shift) & 0xff));
}
} // namespace

OutFrame OutFrame::make(std::uint32_t maxType, std::uint32_t minType, const std::string& payload)
{
    if (payload.size() > mpak::kMaxFramePayload)
        return {};
    const std::string frame = mpak::encodeFrame(maxType, minType, payload);
    auto bytes = std::make_shared<std::string>();
    bytes->reserve(kPrefixSize + frame.size());
    appendU32(*bytes, static_cast<std::uint32_t>(frame.size()));
    bytes->append(frame);
    return OutFrame(std::move(bytes));
}

bool OutFrame::sealHeader(std::string& bytes, std::uint32_t maxType, std::uint32_t minType)
{
    const std::size_t payloadSize = bytes.size() - kPrefixSize - mpak::kFrameHeaderSize;
    if (payloadSize > mpak::kMaxFramePayload)
        return false;
    std::string head;
    appendU32(head, static_cast<std::uint32_t>(mpak::kFrameHeaderSize + payloadSize));
    appendU32(head, maxType);
    appendU32(head, minType);
    head.push_back(static_cast<char>(payloadSize & 0xff));
    head.push_back(static_cast<char>(payloadSize >> 8));
    bytes.replace(0, head.size(), head);
    return true;
}

std::string_view OutFrame::wire() const
{
    return m_bytes ? std::string_view(*m_bytes) : std::string_view();
}

std::string_view OutFrame::frame() const
{
    return wire().substr(m_bytes ? kPrefixSize : 0);
}

} // namespace quorix::service
