// quorix-voted's front end, each client on a connected stream pair whose other end the server
// serves as an accepted connection: the stream parser, the HELLO/WELCOME handshake with and
// without tokens, MOVE, and vote requests into a core with a fake clock, up to three clients.
// Everything the server writes back must be whole frames: WELCOMEs and answers that decode
// completely.
//
// Input: one flags byte (bit 0: the server requires tokens), then a script of operations
// (FuzzInput): 0 connect a client, 1 write a run of bytes from a client, 2 half-close a client,
// 3 step the clock. A fresh server serves every input.

#include "fuzz/answercheck.h"
#include "fuzz/fuzzinput.h"
#include <quorix/protocol/hostcontrol.h>
#include "voteservice/core/memoryvotestorage.h"
#include <quorix/protocol/serviceframe.h>
#include "voteservice/server/voteserver.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace quorix;
using namespace quorix::service;

[[noreturn]] void fault(const char* what)
{
    std::fprintf(stderr, "service stream fuzz: %s\n", what);
    std::abort();
}

class FakeClock : public Clock
{
public:
    std::int64_t steadyMs() const override { return m_ms; }
    std::int64_t unixSeconds() const override { return 1'800'000'000 + m_ms / 1000; }
    void advance(std::int64_t ms) { m_ms += ms; }

private:
    std::int64_t m_ms = 1000;
};

struct Client
{
    int fd = -1;
    bool writeClosed = false;
    bool ended = false;
    std::string received;
};

// The client's end of a connected stream pair whose other end the server serves as an accepted
// connection, or -1 when the machine has no descriptors left. No port is used, so millions of
// runs leave nothing behind in the machine's network stack.
int connectTo(asio::io_context& io, VoteServer& server)
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return -1;
    asio::ip::tcp::socket served(io);
    boost::system::error_code ec;
    served.assign(asio::ip::tcp::v4(), ends[1], ec);
    if (ec) {
        ::close(ends[0]);
        ::close(ends[1]);
        return -1;
    }
    server.adopt(std::move(served));
    return ends[0];
}

void drain(Client& client)
{
    char buffer[65536];
    while (!client.ended) {
        const ssize_t n = ::recv(client.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0)
            client.received.append(buffer, std::size_t(n));
        else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            client.ended = true;
        else
            return;
    }
}

void pump(asio::io_context& io, std::vector<Client>& clients)
{
    for (int round = 0; round < 64; ++round) {
        io.restart();
        const std::size_t handlers = io.poll();
        std::size_t before = 0;
        std::size_t after = 0;
        for (Client& client : clients) {
            before += client.received.size();
            drain(client);
            after += client.received.size();
        }
        if (handlers == 0 && before == after)
            return;
    }
}

void checkReceived(const std::string& stream, bool complete)
{
    mpak::Unpack up(stream);
    while (up.size() >= 4) {
        const std::uint32_t length = mpak::Unpack(up.data(), 4).pop_uint32();
        if (up.size() - 4 < length)
            break;
        const std::string_view wire(up.data(), 4 + length);
        up.pop_fetch_ptr(4 + length);
        const mpak::ServiceFrame frame = mpak::decodeFrame(wire.data() + 4, length);
        if (frame.payload.size() + mpak::kFrameHeaderSize != length)
            fault("payload length disagrees with the frame");
        if (frame.maxType == kControlMajorType) {
            PWelcome welcome;
            mpak::Unpack body(frame.payload);
            if (frame.minType != kControlWelcome)
                fault("the server sent a control message other than WELCOME");
            try {
                body >> welcome;
            } catch (const mpak::UnpackError&) {
                fault("a WELCOME that does not decode");
            }
            if (!body.empty() || welcome.result > kWelcomeHelloExpected)
                fault("a WELCOME with extra bytes or an unknown result");
        } else if (const char* problem = answercheck::streamFrameProblem(wire)) {
            fault(problem);
        }
    }
    if (complete && !up.empty())
        fault("the server's stream ended inside a frame");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    const std::uint8_t flags = in.u8();
    asio::io_context io;
    FakeClock clock;
    MemoryVoteStorage storage;
    ServerOptions options;
    options.maxSessions = 2;
    if (flags & 1)
        options.secret = "fuzz-secret";
    std::vector<Client> clients;
    {
        VoteServer server(io, options, clock, storage);
        server.startWithoutListening();
        while (!in.empty()) {
            const std::uint8_t op = in.u8() % 4;
            if (op == 0 && clients.size() < 3) {
                Client client;
                client.fd = connectTo(io, server);
                if (client.fd >= 0)
                    clients.push_back(client);
            } else if (op == 1 && !clients.empty()) {
                Client& client = clients[in.u8() % clients.size()];
                const std::string bytes = in.bytes(8192);
                if (!client.writeClosed && !client.ended)
                    ::send(client.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            } else if (op == 2 && !clients.empty()) {
                Client& client = clients[in.u8() % clients.size()];
                ::shutdown(client.fd, SHUT_WR);
                client.writeClosed = true;
            } else if (op == 3) {
                clock.advance(std::int64_t(in.u16()) * 100);
            }
            pump(io, clients);
        }
        for (Client& client : clients) {
            ::shutdown(client.fd, SHUT_WR);
            client.writeClosed = true;
        }
        pump(io, clients);
        for (const Client& client : clients)
            checkReceived(client.received, client.ended);
        server.stop();
    }
    for (const Client& client : clients)
        ::close(client.fd);
    return 0;
}
