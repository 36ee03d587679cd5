// The user bridge: the local user's identity and role from the channel row and the buddy list,
// manager roles, caching and the change notifications.

#include "src/quorixapp/entuserinteface.h"
#include "tests/support/fakehost.h"
#include "tests/support/fakerowarray.h"
#include "logcapture.h"
#include "serviceids.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <memory>

namespace {

class UserBridge : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qRegisterMetaType<ROLE_IN_CHANNEL>("ROLE_IN_CHANNEL");
        host.common().setUid(1001);
    }

    void setRow(UINT32 uid, UINT32 role, unsigned char sex = 1, const wchar_t* nick = L"nick")
    {
        host.channel()
            .myRow()
            .setUInt32(L"dwUid", uid)
            .setUInt32(L"dwRole", role)
            .setByte(L"btSex", sex)
            .setString(L"strNickname", nick);
    }
    void init() { user->init(IComponentRootPtr(host.root())); }

    FakeHost host;
    std::unique_ptr<EntUserInterface> user = std::make_unique<EntUserInterface>();
};

TEST(UserRoles, ExactlyTheFiveManagerRolesCount)
{
    const struct
    {
        quint32 role;
        bool manager;
    } cases[] = {{255, true},  {230, true}, {200, true},  {175, true}, {150, true}, {149, false},
                 {151, false}, {0, false},  {100, false}, {20, false}, {256, false}};
    for (const auto& c : cases)
        EXPECT_EQ(EntUserInterface::isManagerRole(c.role), c.manager) << c.role;
}

TEST(UserGender, TextsFromTheBuddyList)
{
    const struct
    {
        const char* text;
        quint32 gender;
    } cases[] = {{"female", 0},  {"   Female", 0},      {"\tFEMALE!", 0}, {"male", 1},
                 {"MaLe", 1},    {"males and more", 1}, {"", 2},          {"   ", 2},
                 {"unknown", 2}, {"fe male", 2},        {"xmale", 2}};
    for (const auto& c : cases)
        EXPECT_EQ(EntUserInterface::genderFromText(QString::fromUtf8(c.text)), c.gender)
            << '"' << c.text << '"';
}

TEST_F(UserBridge, InitReadsUidAndRowThenAsksTheBuddyList)
{
    setRow(1001, 150, 0, L"\u5F20\u4E09");
    init();
    EXPECT_EQ(user->getCurrentUserUid(), 1001u);
    EXPECT_EQ(user->getCurrentUserRole(), 150u);
    EXPECT_EQ(user->getCurrentUserGender(), 0u);
    EXPECT_EQ(user->getCurrentUserNick(), QString::fromWCharArray(L"\u5F20\u4E09"));
    EXPECT_TRUE(user->isCurrentUserIsManager());
    ASSERT_EQ(host.buddies().requests().size(), 1u);
    EXPECT_EQ(host.buddies().requests()[0], std::make_pair(UINT32(1001), 1));
    EXPECT_EQ(host.channel().lastMyChannelInfoMode(), 0);
}

TEST_F(UserBridge, InitWithoutRowLeavesRoleUnknownAndGenderNotGiven)
{
    host.channel().clearMyRow();
    fenbase::LogCapture capture;
    init();
    EXPECT_EQ(capture.count("GetMyChannelInfo is NULL!!!!!"), 1);
    EXPECT_EQ(user->getCurrentUserRole(), 0u);
    EXPECT_EQ(user->getCurrentUserGender(), 2u);
    EXPECT_EQ(host.buddies().requests().size(), 1u);
}

TEST_F(UserBridge, NicknameOnlyWhenTheRowHasOne)
{
    setRow(1001, 100);
    host.channel().myRow().removeValue(L"strNickname");
    init();
    EXPECT_TRUE(user->getCurrentUserNick().isEmpty());
}

TEST_F(UserBridge, EachMissingServiceStopsInitWithItsMessage)
{
    const struct
    {
        const char* service;
        const char* message;
    } cases[] = {
        {hostsdk::kChannelService, "EntUserInterface m_ChannelUserListPtr is NULL"},
        {hostsdk::kImGroupService, "EntUserInterface m_BuddyListPtr is NULL"},
        {hostsdk::kCommonService, "EntUserInterface m_AuthenticationPtr is NULL"},
    };
    for (const auto& c : cases) {
        FakeHost missing;
        missing.removeService(c.service);
        missing.common().setUid(5);
        EntUserInterface bridge;
        fenbase::LogCapture capture;
        bridge.init(IComponentRootPtr(missing.root()));
        ASSERT_EQ(capture.records().size(), 1u) << c.service;
        EXPECT_EQ(capture.records()[0].text, c.message);
        EXPECT_EQ(capture.records()[0].function, "EntUserInterface::init");
        EXPECT_TRUE(missing.buddies().requests().empty()) << c.service;
        EXPECT_EQ(missing.channel().myChannelInfoChangedSignal().slotCount(), 0) << c.service;
    }
    fenbase::LogCapture capture;
    EntUserInterface bridge;
    bridge.init(IComponentRootPtr());
    EXPECT_EQ(capture.count("EntUserInterface comRootPtr is NULL"), 1);
    EXPECT_EQ(bridge.getCurrentUserUid(), 0u);
    EXPECT_FALSE(bridge.isCurrentUserIsManager());
}

TEST_F(UserBridge, RowChangeBeforeInitIsLogged)
{
    QSignalSpy changed(user.get(), &EntUserInterface::currentUserInfoChanged);
    fenbase::LogCapture capture;
    user->onMyChannelInfoChanged(nullptr);
    ASSERT_EQ(capture.records().size(), 1u);
    EXPECT_EQ(capture.records()[0].text, "ChannelUserListPtr is NULL!!!");
    EXPECT_EQ(capture.records()[0].function, "EntUserInterface::onMyChannelInfoChanged");
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(UserBridge, GettersAskTheHostOnlyWhileTheirValueIsZero)
{
    host.common().setUid(0);
    setRow(2002, 255);
    init();
    const int reads = host.channel().myRowReads();
    EXPECT_TRUE(user->isCurrentUserIsManager());
    EXPECT_EQ(host.channel().myRowReads(), reads); // cached role
    EXPECT_EQ(user->getCurrentUserUid(), 2002u);   // uid 0 from authentication: read from the row
    EXPECT_EQ(host.channel().myRowReads(), reads + 1);
    EXPECT_EQ(user->getCurrentUserUid(), 2002u);
    EXPECT_EQ(host.channel().myRowReads(), reads + 1);
}

TEST_F(UserBridge, RoleUnknownAtInitIsFetchedWhenAsked)
{
    host.channel().clearMyRow();
    init();
    setRow(1001, 175);
    EXPECT_TRUE(user->isCurrentUserIsManager());
    host.channel().clearMyRow();
    fenbase::LogCapture capture;
    EntUserInterface other;
    other.init(IComponentRootPtr(host.root()));
    EXPECT_FALSE(other.isCurrentUserIsManager());
    EXPECT_EQ(capture.count("GetMyChannelInfo is NULL!!!!!"), 2);
}

TEST_F(UserBridge, RowChangesUpdateAndSignalRoleChangesOnlyWhenTheRoleDiffers)
{
    setRow(1001, 100);
    init();
    QSignalSpy changed(user.get(), &EntUserInterface::currentUserInfoChanged);
    QSignalSpy roleChanged(user.get(), &EntUserInterface::currentUserRoleChanged);
    setRow(1001, 100, 0, L"renamed");
    host.channel().fireMyChannelInfoChanged();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(roleChanged.count(), 0);
    EXPECT_EQ(user->getCurrentUserNick(), "renamed");
    setRow(1001, 200);
    host.channel().fireMyChannelInfoChanged();
    EXPECT_EQ(changed.count(), 2);
    ASSERT_EQ(roleChanged.count(), 1);
    EXPECT_EQ(roleChanged[0][0].value<ROLE_IN_CHANNEL>(), ROLE_ADMIN);
    EXPECT_TRUE(user->isCurrentUserIsManager());
}

TEST_F(UserBridge, RowChangeFallsBackToTheNotifiedRowsAndLogsWhenThereIsNone)
{
    host.channel().clearMyRow();
    init();
    FakeRow notified;
    notified.setUInt32(L"dwUid", 1001).setUInt32(L"dwRole", 230);
    FakeRowArray rows;
    rows.append(&notified);
    QSignalSpy changed(user.get(), &EntUserInterface::currentUserInfoChanged);
    host.channel().fireMyChannelInfoChanged(Data::IRowArrayPtr(&rows));
    EXPECT_EQ(user->getCurrentUserRole(), 230u);
    EXPECT_EQ(changed.count(), 1);

    FakeRowArray empty;
    fenbase::LogCapture capture;
    host.channel().fireMyChannelInfoChanged(Data::IRowArrayPtr(&empty));
    host.channel().fireMyChannelInfoChanged();
    EXPECT_EQ(capture.count("GetMyChannelInfo is NULL!!!!!"), 2);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(notified.refCount(), 0);
    EXPECT_EQ(rows.refCount(), 0);
}

TEST_F(UserBridge, InitCompleteNeedsBothImidAndRole)
{
    setRow(1001, 0);
    init();
    QSignalSpy complete(user.get(), &EntUserInterface::currentUserInfoInitComplete);
    host.buddies().answer(1001, L"70001", L"buddy", L"male");
    EXPECT_EQ(user->getCurrentUserImid(), 70001u);
    EXPECT_EQ(user->getCurrentUserNick(), "buddy");
    EXPECT_EQ(user->getCurrentUserGender(), 1u);
    EXPECT_EQ(complete.count(), 0); // role still unknown
    setRow(1001, 150);
    host.channel().fireMyChannelInfoChanged();
    EXPECT_EQ(complete.count(), 1);
    host.buddies().answer(1001, L"70001", L"buddy", L"female");
    EXPECT_EQ(complete.count(), 2);
    host.buddies().answer(1001, L"7x", L"buddy", L"");
    EXPECT_EQ(user->getCurrentUserImid(), 0u);
    EXPECT_EQ(user->getCurrentUserGender(), 2u);
    EXPECT_EQ(complete.count(), 2);
}

TEST_F(UserBridge, AnswersForOtherUsersAreIgnored)
{
    setRow(1001, 150);
    init();
    QSignalSpy complete(user.get(), &EntUserInterface::currentUserInfoInitComplete);
    FakePropBag& bag = host.buddies().answer(4242, L"9", L"stranger", L"male");
    EXPECT_EQ(user->getCurrentUserImid(), 0u);
    EXPECT_EQ(user->getCurrentUserNick(), "nick");
    EXPECT_EQ(complete.count(), 0);
    EXPECT_EQ(bag.refCount(), 0);
}

TEST_F(UserBridge, DestructionReleasesTheHostAndEndsItsNotifications)
{
    setRow(1001, 150);
    init();
    EXPECT_GT(host.serviceRefCount(), 0);
    user.reset();
    EXPECT_EQ(host.serviceRefCount(), 0);
    EXPECT_EQ(host.buddies().userInfoSignal().slotCount(), 0);
    host.buddies().answer(1001, L"1", L"n", L"male");
    host.channel().fireMyChannelInfoChanged();
}

} // namespace
