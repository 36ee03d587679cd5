// The host connection's write path: the frames queued during one handler leave together, in order,
// in as few writes as the per-write bound allows; an answer with a hold waits for the next frame
// or its due time; a close after a flush still delivers them; a queue over its bound drops the
// session without writing.

#include "voteservice/core/outframe.h"
#include "tests/support/recordingsessionowner.h"
#include "tests/support/servicetestsupport.h"
#include "voteservice/server/tcpsession.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace quorix::service::test {
namespace {

// One session on an accepted loopback connection and the peer's end of it.
class SessionOnLoopback : public ::testing::Test
{
protected:
    // Small socket buffers make the session's writes stop part-way.
    void open(std::size_t maxQueuedBytes, int socketBuffers = 0)
    {
        asio::ip::tcp::acceptor acceptor(m_io, {asio::ip::make_address("127.0.0.1"), 0});
        m_peer.open(asio::ip::tcp::v4());
        if (socketBuffers > 0)
            m_peer.set_option(asio::socket_base::receive_buffer_size(socketBuffers));
        m_peer.connect(acceptor.local_endpoint());
        m_session = std::make_shared<TcpSession>(SessionStream(acceptor.accept(), nullptr), 1, m_owner,
                                                 maxQueuedBytes, m_clock, m_flushes);
        m_session->start(socketBuffers);
    }
    // Runs `queue` as one handler of the loop, then the loop until nothing is left to do.
    template <class Queue> void inOneHandler(Queue queue)
    {
        asio::post(m_io, queue);
        // Loopback writes this small complete at once; the session's read wait stays pending.
        while (m_io.poll() > 0) {
        }
    }
    std::string peerReads(std::size_t bytes)
    {
        std::string data(bytes, '\0');
        asio::read(m_peer, asio::buffer(data));
        return data;
    }
    bool peerSeesEnd()
    {
        char byte = 0;
        boost::system::error_code ec;
        m_peer.read_some(asio::buffer(&byte, 1), ec);
        return ec == asio::error::eof;
    }
    static OutFrame numbered(std::size_t i)
    {
        return OutFrame::make(2500, 2512, "answer " + std::to_string(i));
    }

    asio::io_context m_io;
    std::shared_ptr<FlushBatch> m_flushes = std::make_shared<FlushBatch>(m_io);
    asio::ip::tcp::socket m_peer{m_io};
    ManualClock m_clock;
    RecordingSessionOwner m_owner;
    std::shared_ptr<TcpSession> m_session;
};

TEST_F(SessionOnLoopback, FramesOfOneHandlerLeaveInOrderInBoundedGatheredWrites)
{
    struct Case
    {
        std::size_t frames;
        int writes; // at most 64 frames per write
    };
    for (const Case c : {Case{1, 1}, Case{5, 1}, Case{64, 1}, Case{65, 2}, Case{200, 4}}) {
        SCOPED_TRACE(c.frames);
        m_owner = RecordingSessionOwner();
        open(1 << 20);
        std::string expected;
        for (std::size_t i = 0; i < c.frames; ++i)
            expected += numbered(i).wire();
        inOneHandler([&] {
            for (std::size_t i = 0; i < c.frames; ++i)
                m_session->send(numbered(i));
        });
        EXPECT_EQ(m_owner.writes, c.writes);
        EXPECT_EQ(m_owner.sent, expected.size());
        EXPECT_EQ(peerReads(expected.size()), expected);
        m_session->close();
        m_peer.close();
    }
}

// An answer held 100 ms leaves with the next frame that has no hold, in one write, or alone once
// due; a close asked meanwhile sends it first.
TEST_F(SessionOnLoopback, HeldAnswersLeaveWithTheNextFrameOrWhenDue)
{
    enum class Then
    {
        Broadcast,
        DueTime,
        CloseAfterFlush
    };
    struct Case
    {
        Then then;
        int answers;
        std::int64_t waitedMs; // how long the batch's clock ran before the release
        int writesBefore;      // while the answers wait
        int writes;
    };
    const OutFrame broadcast = OutFrame::make(2500, 2508, "counts");
    for (const Case c : {Case{Then::Broadcast, 1, 40, 0, 1}, Case{Then::Broadcast, 3, 40, 0, 1},
                         Case{Then::DueTime, 1, 99, 0, 0}, Case{Then::DueTime, 2, 100, 0, 1},
                         Case{Then::CloseAfterFlush, 1, 0, 0, 1}}) {
        SCOPED_TRACE(static_cast<int>(c.then) * 10 + c.answers);
        m_owner = RecordingSessionOwner();
        open(1 << 20);
        std::string expected;
        for (int i = 0; i < c.answers; ++i) {
            inOneHandler([&] { m_session->send(numbered(i).heldUpTo(100)); });
            expected += numbered(i).wire();
        }
        EXPECT_EQ(m_owner.writes, c.writesBefore);
        m_clock.advanceMs(c.waitedMs);
        inOneHandler([&] {
            m_flushes->releaseDue(m_clock.steadyMs());
            if (c.then == Then::Broadcast)
                m_session->send(broadcast);
            if (c.then == Then::CloseAfterFlush)
                m_session->closeAfterFlush();
        });
        if (c.then == Then::Broadcast)
            expected += broadcast.wire();
        EXPECT_EQ(m_owner.writes, c.writes);
        if (c.writes > 0) {
            EXPECT_EQ(peerReads(expected.size()), expected);
        }
        if (c.then == Then::CloseAfterFlush) {
            EXPECT_TRUE(peerSeesEnd());
        }
        m_session->close();
        m_peer.close();
        m_flushes->releaseDue(m_clock.steadyMs() + 1000); // what a case left held
    }
}

TEST_F(SessionOnLoopback, FramesBeyondWhatTheSocketTakesAtOnceArriveWholeAndInOrder)
{
    open(8 << 20, 4096);
    std::string expected;
    std::vector<OutFrame> frames;
    for (int i = 0; i < 40; ++i) {
        frames.push_back(OutFrame::make(2500, 2512, std::string(60000, static_cast<char>('a' + i % 26))));
        expected += frames.back().wire();
    }
    inOneHandler([&] {
        for (const OutFrame& frame : frames)
            m_session->send(frame);
    });
    // The rest of the write waits for the peer to read: read and run the loop by turns.
    m_peer.non_blocking(true);
    std::string received;
    std::array<char, 65536> chunk;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (received.size() < expected.size() && std::chrono::steady_clock::now() < deadline) {
        boost::system::error_code ec;
        received.append(chunk.data(), m_peer.read_some(asio::buffer(chunk), ec));
        m_io.poll();
    }
    EXPECT_TRUE(received == expected) << received.size() << " of " << expected.size() << " bytes";
    EXPECT_EQ(m_owner.sent, expected.size());
    EXPECT_EQ(m_owner.closed, 0);
}

TEST_F(SessionOnLoopback, CloseAfterFlushDeliversTheQueuedFramesFirst)
{
    open(1 << 20);
    const std::string expected = std::string(numbered(1).wire()) + std::string(numbered(2).wire());
    inOneHandler([&] {
        m_session->send(numbered(1));
        m_session->send(numbered(2));
        m_session->closeAfterFlush();
        m_session->send(numbered(3)); // after the close was asked: not sent
    });
    EXPECT_EQ(peerReads(expected.size()), expected);
    EXPECT_TRUE(peerSeesEnd());
    EXPECT_EQ(m_owner.closed, 1);
}

TEST_F(SessionOnLoopback, QueueOverItsBoundDropsTheSessionWithoutWriting)
{
    const std::size_t frameBytes = numbered(0).wire().size();
    open(3 * frameBytes);
    inOneHandler([&] {
        for (std::size_t i = 0; i < 4; ++i)
            m_session->send(numbered(i));
    });
    EXPECT_EQ(m_owner.cuts, 1);
    EXPECT_EQ(m_owner.closed, 1);
    EXPECT_EQ(m_owner.sent, 0u);
    EXPECT_TRUE(peerSeesEnd());
}

} // namespace
} // namespace quorix::service::test
