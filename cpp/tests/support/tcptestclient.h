#pragma once

// A blocking TCP client for the service tests: speaks the host transport (u32 length, frame) with
// timeouts, and can also send raw bytes to play a hostile peer.

#include <quorix/protocol/serviceframe.h>
#include "voteservice/core/sessionidentity.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorix::service::test {

class TcpTestClient
{
public:
    TcpTestClient() = default;
    ~TcpTestClient();
    TcpTestClient(const TcpTestClient&) = delete;
    TcpTestClient& operator=(const TcpTestClient&) = delete;

    // To 127.0.0.1, from `from` (another loopback address, for per-address limits) when given.
    bool connect(std::uint16_t port, const char* from = nullptr);
    bool sendRaw(const std::string& bytes);
    bool sendFrame(std::uint32_t maxType, std::uint32_t minType, const std::string& payload);
    template <class Message> bool sendVote(std::uint32_t minType, const Message& message)
    {
        return sendFrame(2500, minType, mpak::encode(message));
    }
    // HELLO, then the WELCOME result (or nullopt when none arrives).
    std::optional<std::uint32_t> hello(const SessionIdentity& identity, const std::string& token = {});

    // The next frame, or nullopt on timeout or when the connection is gone.
    std::optional<mpak::ServiceFrame> readFrame(int timeoutMs = 3000);
    // Reads until a frame of the given minor type (major 2500) arrives; the others are kept in seen.
    std::optional<mpak::ServiceFrame> waitFor(std::uint32_t minType, int timeoutMs = 3000);
    template <class Message>
    std::optional<Message> waitForMessage(std::uint32_t minType, int timeoutMs = 3000)
    {
        const auto frame = waitFor(minType, timeoutMs);
        if (!frame)
            return std::nullopt;
        Message message;
        if (!mpak::decode(frame->payload, message))
            return std::nullopt;
        return message;
    }
    // True when the service closes the connection within the time (frames before that are skipped).
    bool closedWithin(int timeoutMs = 3000);

    // Stops reading: the peer's output piles up in the socket buffers.
    void setReceiveBuffer(int bytes);

    std::vector<mpak::ServiceFrame> seen;

private:
    bool readExact(char* out, std::size_t n, int timeoutMs);

    int m_fd = -1;
    bool m_closed = false;
};

} // namespace quorix::service::test
