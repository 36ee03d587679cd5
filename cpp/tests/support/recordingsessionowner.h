#pragma once

// A TcpSession owner that counts what its sessions report: writes and their bytes, closes and
// queues cut for their bound. Frames read and failed handshakes are ignored.

#include "voteservice/server/tcpsession.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorix::service::test {

class RecordingSessionOwner : public TcpSession::Owner
{
public:
    void onFrame(TcpSession&, std::uint32_t, std::uint32_t, const std::string&) override {}
    void onClosed(TcpSession&) override { ++closed; }
    void onBytesSent(std::size_t bytes) override
    {
        ++writes;
        sent += bytes;
    }
    void onQueueCut() override { ++cuts; }
    void onHandshakeFailed(TcpSession&, const std::string&) override {}

    int closed = 0;
    int writes = 0;
    int cuts = 0;
    std::size_t sent = 0;
};

} // namespace quorix::service::test
