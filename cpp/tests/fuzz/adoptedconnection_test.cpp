// A server that is handed connected sockets instead of listening (as the stream fuzz target runs
// it) serves them like accepted connections: HELLO gets WELCOME, and stopping closes them.

#include <quorix/protocol/hostcontrol.h>
#include "voteservice/core/memoryvotestorage.h"
#include <quorix/protocol/serviceframe.h>
#include "voteservice/server/voteserver.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace {

using namespace quorix;
using namespace quorix::service;

class FixedClock : public Clock
{
public:
    std::int64_t steadyMs() const override { return 1000; }
    std::int64_t unixSeconds() const override { return 1'800'000'000; }
};

std::string streamFrame(std::uint32_t maxType, std::uint32_t minType, const std::string& payload)
{
    const std::string frame = mpak::encodeFrame(maxType, minType, payload);
    std::string length(4, '\0');
    for (int i = 0; i < 4; ++i)
        length[i] = char((frame.size() >> (8 * i)) & 0xff);
    return length + frame;
}

// Everything the peer has written so far, after the server handled what was pending.
std::string readAvailable(asio::io_context& io, int fd)
{
    std::string received;
    char buffer[4096];
    for (int round = 0; round < 50; ++round) {
        io.restart();
        io.poll();
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0)
            received.append(buffer, std::size_t(n));
        else if (n == 0 || !received.empty())
            break;
    }
    return received;
}

TEST(AdoptedConnection, HelloIsWelcomedAndStopCloses)
{
    asio::io_context io;
    FixedClock clock;
    MemoryVoteStorage storage;
    VoteServer server(io, ServerOptions{}, clock, storage);
    server.startWithoutListening();
    int ends[2];
    ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM, 0, ends));
    asio::ip::tcp::socket served(io);
    served.assign(asio::ip::tcp::v4(), ends[1]);
    server.adopt(std::move(served));
    EXPECT_EQ(1u, server.connectionCount());

    const std::string hello = streamFrame(kControlMajorType, kControlHello,
                                          mpak::encode(PHello{1000, 5000, "nick", 255, 10, 20, ""}));
    ASSERT_EQ(ssize_t(hello.size()), ::send(ends[0], hello.data(), hello.size(), 0));
    const std::string received = readAvailable(io, ends[0]);
    ASSERT_GT(received.size(), 4u);
    const mpak::ServiceFrame frame = mpak::decodeFrame(received.data() + 4, received.size() - 4);
    EXPECT_EQ(kControlMajorType, frame.maxType);
    ASSERT_EQ(kControlWelcome, frame.minType);
    PWelcome welcome;
    ASSERT_TRUE(mpak::decode(frame.payload, welcome));
    EXPECT_EQ(kWelcomeAccepted, welcome.result);
    EXPECT_EQ(1u, server.sessionCount());

    server.stop();
    EXPECT_EQ(0u, server.connectionCount());
    char byte;
    EXPECT_EQ(0, ::recv(ends[0], &byte, 1, 0)) << "the server's end stays open after stop";
    ::close(ends[0]);
}

TEST(AdoptedConnection, StoppedServerClosesWhatItIsHanded)
{
    asio::io_context io;
    FixedClock clock;
    MemoryVoteStorage storage;
    VoteServer server(io, ServerOptions{}, clock, storage);
    server.stop();
    int ends[2];
    ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM, 0, ends));
    asio::ip::tcp::socket served(io);
    served.assign(asio::ip::tcp::v4(), ends[1]);
    server.adopt(std::move(served));
    EXPECT_EQ(0u, server.connectionCount());
    char byte;
    EXPECT_EQ(0, ::recv(ends[0], &byte, 1, 0));
    ::close(ends[0]);
}

} // namespace
