#include "tests/host/fakevoteservice.h"
#include "tests/host/hosttestsupport.h"
#include <quorix/protocol/hostcontrol.h>
#include "host/transports/reconnectbackoff.h"
#include <quorix/protocol/serviceframe.h>
#include "host/transports/tcpservicetransport.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

namespace {

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

    FakeVoteService service;
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

TEST_F(TcpTransportTest, AServiceGoingAwayIsLeftAtOnceForTheNextAddressAfterItsLastAnswers)
{
    FakeVoteService next;
    TcpServiceTransport host(ServiceAddresses{ServiceAddress{"127.0.0.1", service.port()},
                                              ServiceAddress{"127.0.0.1", next.port()}},
                             identity, "99.cafe");
    host.setBackoff(ReconnectBackoff([] { return 0.0; }));
    QSignalSpy ready(&host, &ServiceTransport::ready);
    QSignalSpy closed(&host, &ServiceTransport::closed);
    QStringList events;
    QObject::connect(&host, &ServiceTransport::eventLogged, [&](const QString& text) { events << text; });
    std::vector<std::string> arrived;
    QObject::connect(&host, &ServiceTransport::frameArrived,
                     [&](const std::string& frame) { arrived.push_back(closed.isEmpty() ? frame : "late"); });
    host.start();
    ASSERT_TRUE(service.accept());
    ASSERT_TRUE(service.waitFrames(1));
    service.welcome(0);
    ASSERT_TRUE(waitUntil([&] { return ready.count() == 1; }));

    service.send(2500, 30, "answer");
    service.send(quorix::service::kControlMajorType, quorix::service::kControlGoingAway,
                 mpak::encode(quorix::service::PGoingAway{"service stopping"}));
    ASSERT_TRUE(waitUntil([&] { return closed.count() == 1; }));
    ASSERT_EQ(arrived.size(), 1u);
    EXPECT_EQ(mpak::decodeFrame(arrived.at(0)).payload, "answer");
    EXPECT_TRUE(events.contains(QStringLiteral("投票服务 127.0.0.1:%1 即将停止，0 毫秒后重连 127.0.0.1:%2")
                                    .arg(service.port())
                                    .arg(next.port())))
        << events.join('\n').toStdString();
    // Well before the backoff's first step would have let it try again.
    ASSERT_TRUE(next.accept(ReconnectBackoff::kFirstDelayMs / 2));
    ASSERT_TRUE(next.waitFrames(1));
    EXPECT_EQ(next.frame(0).minType, quorix::service::kControlHello);
    next.welcome(0);
    ASSERT_TRUE(waitUntil([&] { return ready.count() == 2; }));
    EXPECT_EQ(host.describe(), QStringLiteral("127.0.0.1:%1").arg(next.port()));
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

TEST_F(TcpTransportTest, RefusalsTheServiceMayLiftAreRetriedAndOthersStopTheTransport)
{
    using namespace quorix::service;
    const struct
    {
        quint32 result;
        std::string text;
        bool retrying;
        QString reason;
        QString token = QStringLiteral("99.cafe");
    } rows[] = {
        {kWelcomeMalformed, "malformed HELLO", false, "malformed HELLO (WELCOME 1)"},
        {kWelcomeBadToken, "token refused", false, "token refused (WELCOME 2)"},
        {kWelcomeServiceFull, "service full", true, "service full (WELCOME 3)"},
        {kWelcomeHelloExpected, "HELLO expected first", false, "HELLO expected first (WELCOME 4)"},
        {kWelcomeTooManyForUser, "too many sessions for this user", true,
         "too many sessions for this user (WELCOME 5)"},
        {99, "from a newer service", true, "from a newer service (WELCOME 99)"},
        {kWelcomeBadToken, "bad\x1b[31m\xe2\x80\xaetoken\n", false, "bad[31mtoken (WELCOME 2)"},
        {kWelcomeBadToken, "token refused", false,
         "token refused (WELCOME 2); this host has no token (--token, --token-file or $QUORIX_TOKEN)",
         QString()},
    };
    for (const auto& row : rows) {
        TcpServiceTransport refusedHost("127.0.0.1", service.port(), identity, row.token);
        refusedHost.setBackoff(ReconnectBackoff([] { return 0.0; }));
        QSignalSpy refused(&refusedHost, &ServiceTransport::refused);
        refusedHost.start();
        ASSERT_TRUE(service.accept());
        ASSERT_TRUE(service.waitFrames(1));
        service.welcome(row.result, row.text);
        ASSERT_TRUE(waitUntil([&] { return refused.count() == 1; })) << row.result;
        EXPECT_EQ(refused.at(0).at(0).toString(), row.reason);
        EXPECT_EQ(refused.at(0).at(1).toBool(), row.retrying) << row.result;
        if (row.retrying) {
            EXPECT_GT(refusedHost.pendingReconnectMs(), 0) << row.result;
            EXPECT_TRUE(service.accept()) << row.result << " is tried again";
            continue;
        }
        EXPECT_EQ(refusedHost.pendingReconnectMs(), -1) << row.result;
        refusedHost.start();
        EXPECT_FALSE(service.accept(ReconnectBackoff::kFirstDelayMs * 2))
            << row.result << " is not tried again";
        EXPECT_EQ(refused.count(), 1);
    }
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
