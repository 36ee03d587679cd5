// tovo-host's service connection given several addresses: each drop moves it to the next address,
// round the list, with the usual backoff; a single address keeps its old behaviour.

#include "host/hostoptions.h"
#include "host/transports/tcpservicetransport.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Waits for the next connection to the server and drops it at once.
bool acceptAndDrop(QTcpServer& server)
{
    if (!QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 5000))
        return false;
    QTcpSocket* socket = server.nextPendingConnection();
    socket->abort();
    socket->deleteLater();
    return true;
}

} // namespace

TEST(HostFailoverTest, EachDropReconnectsToTheNextAddressInTurn)
{
    int argc = 1;
    char name[] = "hostfailover_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QTcpServer first, second;
    ASSERT_TRUE(first.listen(QHostAddress::LocalHost, 0));
    ASSERT_TRUE(second.listen(QHostAddress::LocalHost, 0));

    HostOptions options;
    const QString list =
        QStringLiteral("127.0.0.1:%1,127.0.0.1:%2").arg(first.serverPort()).arg(second.serverPort());
    ASSERT_EQ(options.parse({"--service", list}), HostOptions::Outcome::Run) << options.error().toStdString();
    ASSERT_EQ(options.serviceAddresses.size(), 2);

    TcpServiceTransport transport(options.serviceAddresses, HostIdentity{}, QString());
    transport.setBackoff(ReconnectBackoff([] { return 0.0; }));
    transport.start();
    ASSERT_TRUE(acceptAndDrop(first));
    ASSERT_TRUE(acceptAndDrop(second)) << "the drop did not move the host to the second address";
    EXPECT_EQ(transport.describe(), QStringLiteral("127.0.0.1:%1").arg(second.serverPort()));
    ASSERT_TRUE(acceptAndDrop(first)) << "the list does not wrap around";
    EXPECT_FALSE(second.hasPendingConnections());
}

TEST(HostFailoverTest, ServiceListsWithABadEntryAreRefused)
{
    for (const char* bad :
         {"127.0.0.1:1,", "127.0.0.1:1,nohost", ",127.0.0.1:1", "127.0.0.1:1,127.0.0.1:0"}) {
        HostOptions options;
        EXPECT_EQ(options.parse({"--service", bad}), HostOptions::Outcome::Error) << bad;
    }
    HostOptions one;
    ASSERT_EQ(one.parse({"--service", "10.0.0.5:27500"}), HostOptions::Outcome::Run);
    EXPECT_EQ(one.serviceHost, QStringLiteral("10.0.0.5"));
    EXPECT_EQ(one.servicePort, 27500);
    EXPECT_EQ(one.serviceAddresses.size(), 1);
}
