// The add-on's host bridges, run against this host's real services: what they read is what the
// host holds, and the host's changes reach them as their signals.

#include "host/windows/channelwindow.h"
#include "host/hostapplication.h"
#include "tests/host/hosttestsupport.h"
#include "host/transports/servicetransport.h"

#include "src/quorixapp/entchannelinterface.h"
#include "src/quorixapp/entserviceinterface.h"
#include "src/quorixapp/entuserinteface.h"
#include <quorix/protocol/serviceframe.h>
#include <quorix/protocol/votemessages.h>

#include <gtest/gtest.h>

namespace {

HostOptions subChannelManager()
{
    HostOptions options;
    options.identity.uid = 4242;
    options.identity.imid = 424200;
    options.identity.nick = QStringLiteral("子频道管理");
    options.identity.role = 175;
    options.identity.channelId = 321;
    options.identity.subChannelId = 6;
    options.addonDir = "/nonexistent";
    return options;
}

class HostBridgesTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { hostTestApp(); }

    HostBridgesTest() : host(subChannelManager(), filter()) {}

    static KeywordFilter filter()
    {
        KeywordFilter f;
        f.setWords({"刷票", "spam"});
        return f;
    }
    comptr<IComponentRoot> root() { return comptr<IComponentRoot>(host.root()); }

    HostApplication host;
};

TEST_F(HostBridgesTest, ChannelBridgeReadsTheHostsNumbersWindowAndFilteredTexts)
{
    EntChannelInterface channel;
    channel.init(root());
    EXPECT_EQ(channel.getChannelId(), 321u);
    EXPECT_EQ(channel.getSubChannelId(), 6u);
    EXPECT_EQ(channel.getChannelWindow(), host.window());
    EXPECT_EQ(channel.filterText(QStringLiteral("不许刷票, no SPAM")), QStringLiteral("不许**, no ****"));
    EXPECT_EQ(channel.filterText(QStringLiteral("最佳歌手")), QStringLiteral("最佳歌手"));

    std::vector<quint32> switched;
    QObject::connect(&channel, &EntChannelInterface::subChannelChanged,
                     [&switched](quint32 id) { switched.push_back(id); });
    host.state()->setSubChannelId(2);
    EXPECT_EQ(switched, std::vector<quint32>{2});
    EXPECT_EQ(channel.getSubChannelId(), 2u);
}

TEST_F(HostBridgesTest, UserBridgeReadsUidRoleAndTheBuddyAnswerAndFollowsRoleChanges)
{
    EntUserInterface user;
    int complete = 0;
    std::vector<quint32> roles;
    QObject::connect(&user, &EntUserInterface::currentUserInfoInitComplete, [&complete] { ++complete; });
    QObject::connect(&user, &EntUserInterface::currentUserRoleChanged,
                     [&roles](ROLE_IN_CHANNEL role) { roles.push_back(role); });
    user.init(root());
    EXPECT_EQ(user.getCurrentUserUid(), 4242u);
    EXPECT_TRUE(user.isCurrentUserIsManager());
    ASSERT_TRUE(waitUntil([&] { return complete > 0; }));
    EXPECT_EQ(user.getCurrentUserImid(), 424200u);

    host.state()->setRole(20);
    EXPECT_EQ(roles, std::vector<quint32>{20});
    EXPECT_FALSE(user.isCurrentUserIsManager());
}

TEST_F(HostBridgesTest, ServiceLinkGetsAnswersFromTheEmbeddedServiceAndReopensAfterARoleChange)
{
    host.transport()->start();
    EntServiceInterface link;
    int ready = 0;
    std::vector<std::pair<quint32, quint32>> arrived;
    QObject::connect(&link, &EntServiceInterface::serviceReadySignal, [&ready] { ++ready; });
    QObject::connect(&link, &EntServiceInterface::dataArrivedSignal,
                     [&arrived](quint32 major, quint32 minor, const std::string&) {
                         arrived.push_back({major, minor});
                     });
    link.init(root());
    ASSERT_TRUE(waitUntil([&] { return ready == 1; }));

    quorix::PQueryAllVoteReq query;
    query.channelId = 321;
    query.subChannelId = 6;
    link.sendData(quorix::kVoteMajorType, quorix::VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, mpak::encode(query));
    EXPECT_TRUE(arrived.empty()) << "answers arrive from the event loop, never inside the send";
    ASSERT_TRUE(waitUntil([&] { return !arrived.empty(); }));
    EXPECT_EQ(arrived[0],
              std::make_pair(quorix::kVoteMajorType, quint32(quorix::VOTE_SYSTEM_QUERY_ALL_VOTE_RES)));
    EXPECT_TRUE(host.isConnected());

    host.state()->setRole(200);
    ASSERT_TRUE(waitUntil([&] { return ready == 2; })) << "the service learns the new role on a new session";
    EXPECT_TRUE(host.isConnected());
}

} // namespace
