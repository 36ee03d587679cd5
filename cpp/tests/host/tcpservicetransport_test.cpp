#include "hosttestsupport.h"
#include <quorix/protocol/hostcontrol.h>
#include "reconnectbackoff.h"
#include <quorix/protocol/serviceframe.h>
#include "tcpservicetransport.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>

#include <gtest/gtest.h>

#include <memory>

namespace {

// A vote service stand-in on loopback: records the frames a host sends and answers what the
// test tells it to.
class FakeService
{
public:
    FakeService()
    {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost, m_port));
        m_port = m_server.serverPort();
    }

    quint16 port() const { return m_port; }
    void stop() { m_server.close(); }
    bool restart() { return m_server.listen(QHostAddress::LocalHost, m_port); }

    bool accept()
    {
        if (!waitUntil([this] { return m_server.hasPendingConnections(); }))
            return false;
        m_client.reset(m_server.nextPendingConnection());
        m_frames.clear();
        m_inbox.clear();
        return true;
    }
    bool waitFrames(int count)
    {
        return waitUntil([this, count] {
            if (m_client) {
                m_inbox.append(m_client->readAll());
                split();
            }
            return static_cast<int>(m_frames.size()) >= count;
        });
    }
    mpak::ServiceFrame frame(int i) const { return mpak::decodeFrame(m_frames.at(i)); }
    void sendRaw(const QByteArray& bytes)
    {
        m_client->write(bytes);
        m_client->flush();
    }
    void send(quint32 major, quint32 minor, const std::string& body)
    {
        const std::string frame = mpak::encodeFrame(major, minor, body);
        QByteArray bytes(4, 0);
        qToLittleEndian<quint32>(static_cast<quint32>(frame.size()), bytes.data());
        sendRaw(bytes + QByteArray(frame.data(), static_cast<int>(frame.size())));
    }
    void welcome(quint32 result)
    {
        quorix::service::PWelcome w;
        w.result = result;
        w.text = result == 0 ? "welcome" : "refused";
        send(quorix::service::kControlMajorType, quorix::service::kControlWelcome, mpak::encode(w));
    }
    void drop() { m_client->abort(); }

private:
    void split()
    {
        while (m_inbox.size() >= 4) {
            const quint32 length = qFromLittleEndian<quint32>(m_inbox.constData());
            if (m_inbox.size() < 4 + static_cast<int>(length))
                return;
            m_frames.push_back(std::string(m_inbox.constData() + 4, length));
            m_inbox.remove(0, 4 + static_cast<int>(length));
        }
    }

    QTcpServer m_server;
    quint16 m_port = 0;
    std::unique_ptr<QTcpSocket> m_client;
    QByteArray m_inbox;
    std::vector<std::string> m_frames;
};

class TcpTransportTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { hostTestApp(); }

    void SetUp() override
    {
        identity.uid = 77;
        identity.imid = 7700;
        identity.nick = QStringLiteral("主播");
        identity.role = 200;
        identity.channelId = 888;
        identity.subChannelId = 2;
        transport = std::make_unique<TcpServiceTransport>("127.0.0.1", service.port(), identity, "99.cafe");
        transport->setBackoff(ReconnectBackoff([] { return 0.0; }));
    }

    void connectReady()
    {
        QSignalSpy ready(transport.get(), &ServiceTransport::ready);
        transport->start();
        ASSERT_TRUE(service.accept());
        ASSERT_TRUE(service.waitFrames(1));
        service.welcome(0);
        ASSERT_TRUE(waitUntil([&] { return ready.count() == 1; }));
    }

    FakeService service;
    HostIdentity identity;
    std::unique_ptr<TcpServiceTransport> transport;
};

TEST_F(TcpTransportTest, OpensWithHelloCarryingIdentityAndTokenAndIsReadyOnlyAfterWelcome)
{
    transport->start();
    ASSERT_TRUE(service.accept());
    ASSERT_TRUE(service.waitFrames(1));
    const mpak::ServiceFrame hello = service.frame(0);
    EXPECT_EQ(hello.maxType, quorix::service::kControlMajorType);
    EXPECT_EQ(hello.minType, quorix::service::kControlHello);
    quorix::service::PHello body;
    ASSERT_TRUE(mpak::decode(hello.payload, body));
    EXPECT_EQ(body.uid, 77u);
    EXPECT_EQ(body.imid, 7700u);
    EXPECT_EQ(QString::fromStdString(body.nick), QStringLiteral("主播"));
    EXPECT_EQ(body.role, 200u);
    EXPECT_EQ(body.channelId, 888u);
    EXPECT_EQ(body.subChannelId, 2u);
    EXPECT_EQ(body.token, "99.cafe");
    EXPECT_FALSE(transport->isReady());

    QSignalSpy ready(transport.get(), &ServiceTransport::ready);
    service.welcome(0);
    ASSERT_TRUE(waitUntil([&] { return ready.count() == 1; }));
    EXPECT_TRUE(transport->isReady());
}

TEST_F(TcpTransportTest, FramesFlowBothWaysAndMoveFollowsSubChannelSwitches)
{
    connectReady();
    std::vector<std::string> arrived;
    QObject::connect(transport.get(), &ServiceTransport::frameArrived,
                     [&arrived](const std::string& frame) { arrived.push_back(frame); });
    transport->sendFrame(mpak::encodeFrame(2500, 28, std::string("\x01\x02", 2)));
    transport->moveToSubChannel(5);
    ASSERT_TRUE(service.waitFrames(3));
    EXPECT_EQ(service.frame(1).maxType, 2500u);
    EXPECT_EQ(service.frame(1).minType, 28u);
    EXPECT_EQ(service.frame(1).payload, std::string("\x01\x02", 2));
    quorix::service::PMove move;
    EXPECT_EQ(service.frame(2).minType, quorix::service::kControlMove);
    ASSERT_TRUE(mpak::decode(service.frame(2).payload, move));
    EXPECT_EQ(move.subChannelId, 5u);

    service.send(2500, 29, "abc");
    service.send(quorix::service::kControlMajorType, 99, "");
    service.send(2500, 30, "");
    ASSERT_TRUE(waitUntil([&] { return arrived.size() == 2; }));
    const auto first = mpak::decodeFrame(arrived.at(0));
    EXPECT_EQ(first.minType, 29u);
    EXPECT_EQ(first.payload, "abc");
    EXPECT_EQ(mpak::decodeFrame(arrived.at(1)).minType, 30u);
}

TEST_F(TcpTransportTest, ADroppedServiceIsReportedClosedThenReconnectedAndReadyAgain)
{
    connectReady();
    QSignalSpy closed(transport.get(), &ServiceTransport::closed);
    QSignalSpy ready(transport.get(), &ServiceTransport::ready);
    service.drop();
    ASSERT_TRUE(waitUntil([&] { return closed.count() == 1; }));
    EXPECT_FALSE(transport->isReady());
    EXPECT_GE(transport->pendingReconnectMs(), ReconnectBackoff::kFirstDelayMs);

    ASSERT_TRUE(service.accept());
    ASSERT_TRUE(service.waitFrames(1));
    EXPECT_EQ(service.frame(0).minType, quorix::service::kControlHello);
    service.welcome(0);
    ASSERT_TRUE(waitUntil([&] { return ready.count() == 1; }));
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(TcpTransportTest, EventLinesSayWhatHappenedInTheWindowsLanguage)
{
    QStringList events;
    QObject::connect(transport.get(), &ServiceTransport::eventLogged,
                     [&events](const QString& text) { events << text; });
    connectReady();
    service.drop();
    ASSERT_TRUE(waitUntil([&] { return events.size() == 2; }));
    const QString address = transport->describe();
    EXPECT_EQ(events.value(0), QStringLiteral("投票服务 %1 已就绪").arg(address));
    EXPECT_EQ(events.value(1), QStringLiteral("投票服务关闭了连接，%1 毫秒后重连 %2")
                                   .arg(transport->pendingReconnectMs())
                                   .arg(address));
}

TEST_F(TcpTransportTest, AServiceThatIsDownIsRetriedUntilItComesBack)
{
    service.stop();
    transport->start();
    ASSERT_TRUE(waitUntil([&] { return transport->pendingReconnectMs() > 0; }));
    ASSERT_TRUE(service.restart());
    ASSERT_TRUE(service.accept());
    ASSERT_TRUE(service.waitFrames(1));
    QSignalSpy ready(transport.get(), &ServiceTransport::ready);
    service.welcome(0);
    EXPECT_TRUE(waitUntil([&] { return ready.count() == 1; }));
}

struct HostileCase
{
    const char* name;
    QByteArray bytes;
};

class TcpTransportHostile : public TcpTransportTest, public testing::WithParamInterface<HostileCase>
{
};

TEST_P(TcpTransportHostile, StreamIsDroppedWithoutDeliveringAFrame)
{
    connectReady();
    QSignalSpy closed(transport.get(), &ServiceTransport::closed);
    int arrived = 0;
    QObject::connect(transport.get(), &ServiceTransport::frameArrived, [&arrived] { ++arrived; });
    service.sendRaw(GetParam().bytes);
    ASSERT_TRUE(waitUntil([&] { return closed.count() == 1; }));
    EXPECT_EQ(arrived, 0);
    EXPECT_GT(transport->pendingReconnectMs(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, TcpTransportHostile,
    testing::Values(HostileCase{"length_below_header", QByteArray::fromHex("09000000") + QByteArray(9, 0)},
                    HostileCase{"length_beyond_largest_frame", QByteArray::fromHex("0A000100")},
                    HostileCase{"payload_longer_than_frame", QByteArray::fromHex("0A000000"
                                                                                 "C4090000"
                                                                                 "1D000000"
                                                                                 "0500")}),
    [](const testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

TEST_F(TcpTransportTest, ARefusedWelcomeNeverReportsReady)
{
    QSignalSpy ready(transport.get(), &ServiceTransport::ready);
    transport->start();
    ASSERT_TRUE(service.accept());
    ASSERT_TRUE(service.waitFrames(1));
    service.welcome(3);
    ASSERT_TRUE(waitUntil([&] { return transport->pendingReconnectMs() > 0; }));
    EXPECT_EQ(ready.count(), 0);
    EXPECT_FALSE(transport->isReady());
}

TEST(ReconnectBackoff, DoublesFromHalfASecondToThirtySecondsWithJitterAndResets)
{
    double unit = 0.5;
    ReconnectBackoff backoff([&unit] { return unit; });
    std::vector<int> delays;
    for (int i = 0; i < 9; ++i)
        delays.push_back(backoff.nextDelayMs());
    EXPECT_EQ(delays, (std::vector<int>{500, 1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000}));

    backoff.reset();
    unit = 0.0;
    EXPECT_EQ(backoff.nextDelayMs(), 500);
    EXPECT_EQ(backoff.nextDelayMs(), 750);
    unit = 0.999;
    const int high = backoff.nextDelayMs();
    EXPECT_GT(high, 2000);
    EXPECT_LT(high, 2500);
    for (int i = 0; i < 10; ++i)
        EXPECT_LE(backoff.nextDelayMs(), ReconnectBackoff::kMaxDelayMs);
}

} // namespace
