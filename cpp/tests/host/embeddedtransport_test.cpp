// The embedded vote service keeps its votes in the person's data folder, which only one host may
// use at a time: a second host on the same folder keeps its votes in memory and says why.

#include "host/transports/embeddedservicetransport.h"
#include "tests/host/hosttestsupport.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>

namespace {

class EmbeddedTransportTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { hostTestApp(); }

    void SetUp() override
    {
        ASSERT_TRUE(m_dataHome.isValid());
        qputenv("XDG_DATA_HOME", m_dataHome.path().toUtf8());
        qunsetenv("QUORIX_EMBEDDED_MEMORY");
    }
    void TearDown() override
    {
        qputenv("QUORIX_EMBEDDED_MEMORY", "1");
        qunsetenv("XDG_DATA_HOME");
    }

    // Starts the transport and returns what it logged while starting.
    static QStringList start(EmbeddedServiceTransport& transport)
    {
        QStringList events;
        QObject::connect(&transport, &ServiceTransport::eventLogged,
                         [&events](const QString& text) { events << text; });
        transport.start();
        return events;
    }
    static bool keptInMemory(const QStringList& events)
    {
        return !events.filter(QStringLiteral("投票只保存在内存中")).isEmpty();
    }

    QString folder() const { return m_dataHome.path() + QStringLiteral("/quorix"); }

private:
    QTemporaryDir m_dataHome;
};

TEST_F(EmbeddedTransportTest, ASecondHostOnTheSameDataFolderKeepsItsVotesInMemoryAndSaysWhy)
{
    auto first = std::make_unique<EmbeddedServiceTransport>(HostIdentity{});
    const QStringList firstEvents = start(*first);
    EXPECT_EQ(firstEvents, QStringList{QStringLiteral("内置投票服务已就绪")});
    EXPECT_TRUE(QFileInfo::exists(folder() + QStringLiteral("/votes.db")));

    EmbeddedServiceTransport second{HostIdentity{}};
    const QStringList secondEvents = start(second);
    const QString expected = QStringLiteral("投票只保存在内存中：data folder %1 is in use by process %2")
                                 .arg(folder())
                                 .arg(::getpid());
    EXPECT_TRUE(secondEvents.contains(expected)) << secondEvents.join('\n').toStdString();
    EXPECT_TRUE(second.isReady()) << "it still serves, from memory";

    first.reset();
    EmbeddedServiceTransport third{HostIdentity{}};
    const QStringList thirdEvents = start(third);
    EXPECT_FALSE(keptInMemory(thirdEvents)) << "the folder is free once its host is gone";
}

} // namespace
