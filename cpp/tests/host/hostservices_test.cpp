#include "host/windows/channelstate.h"
#include "tests/host/faketransport.h"
#include "host/services/hostaddonbox.h"
#include "host/services/hostauthentication.h"
#include "host/services/hostbuddylist.h"
#include "host/services/hostchannelservice.h"
#include "host/services/hostcomponentroot.h"
#include "host/services/hostserviceconnection.h"
#include "tests/host/hosttestsupport.h"
#include "paneuicreatorservice.h"
#include "host/windows/channelwindow.h"
#include "host/automation/syntheticmouse.h"

#include "hostsdk.h"
#include <quorix/protocol/mpak.h>
#include "nameid.h"

#include <QSignalSpy>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

// Receives host signals the way an add-on object does.
class Listener : public relay::trackable
{
public:
    void onSubChannel(UINT32 id) { subChannels.push_back(id); }
    void onRows(Data::IRowArrayPtr rows) { rowArrays.push_back(rows); }
    void onUserInfo(unsigned int uid, comptr<IPropBagWrapper> bag) { answers.push_back({uid, bag}); }
    void onReady() { ++readyCount; }
    void onServiceClosed() { ++serviceClosedCount; }
    void onConnectionClosed(UINT32 id) { closedIds.push_back(id); }
    void onData(UINT32 id, const std::string& frame) { data.push_back({id, frame}); }

    std::vector<UINT32> subChannels;
    std::vector<Data::IRowArrayPtr> rowArrays;
    std::vector<std::pair<unsigned int, comptr<IPropBagWrapper>>> answers;
    int readyCount = 0;
    int serviceClosedCount = 0;
    std::vector<UINT32> closedIds;
    std::vector<std::pair<UINT32, std::string>> data;
};

HostIdentity viewer()
{
    HostIdentity id;
    id.uid = 5001;
    id.imid = 85001;
    id.nick = QStringLiteral("小明");
    id.role = 20;
    id.sex = 0;
    id.channelId = 3000;
    id.subChannelId = 4;
    return id;
}

class HostServicesTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { hostTestApp(); }

    HostServicesTest()
        : state(viewer()), window(&state), channel(&state, filterWith({"刷票"})), buddyList(&state),
          authentication(&state), addonBox(&window),
          uiCreator(comptr<ITovoUICreator>::adopt(PaneUICreatorService::create())), root(services())
    {
        channel.setChannelWindow(&window);
    }

    static KeywordFilter filterWith(const QStringList& words)
    {
        KeywordFilter filter;
        filter.setWords(words);
        return filter;
    }

    HostServices services()
    {
        HostServices s;
        s.channel = &channel;
        s.buddyList = &buddyList;
        s.authentication = &authentication;
        s.addonBox = &addonBox;
        s.uiCreator = uiCreator.get();
        s.transport = &transport;
        return s;
    }

    comptr<ITovoServiceConnectionEx> newConnection()
    {
        IUnk* out = nullptr;
        EXPECT_EQ(root.createInstance(hostsdk::kServiceConnection, nullptr, &out), 0);
        comptr<IUnk> unknown = comptr<IUnk>::adopt(out);
        return queryInterface<ITovoServiceConnectionEx>(unknown);
    }

    ChannelState state;
    ChannelWindow window;
    HostChannelService channel;
    HostBuddyList buddyList;
    HostAuthentication authentication;
    HostAddonBox addonBox;
    comptr<ITovoUICreator> uiCreator;
    FakeTransport transport;
    HostComponentRoot root;
    Listener listener;
};

template <class T> bool serves(HostComponentRoot& root, const char* serviceId)
{
    return static_cast<bool>(serviceInterface<T>(&root, serviceId));
}

TEST_F(HostServicesTest, EveryServiceOfTheTableAnswersItsInterfacesAndNothingLeaksAReference)
{
    using namespace hostsdk;
    EXPECT_TRUE(serves<ITovoAddonInfo>(root, kChannelService));
    EXPECT_TRUE(serves<ITovoChannelInfomation>(root, kChannelService));
    EXPECT_TRUE(serves<ITovoChannelWindow>(root, kChannelService));
    EXPECT_TRUE(serves<ITovoChannelMaiXuList>(root, kChannelService));
    EXPECT_TRUE(serves<ITovoChannelMessageList>(root, kChannelService));
    EXPECT_TRUE(serves<ITovoChannelKeywordFilter>(root, kChannelService));
    EXPECT_TRUE(serves<ITovoChannelUserList>(root, kChannelService));
    EXPECT_TRUE(serves<ITovoBuddyList>(root, kImGroupService));
    EXPECT_TRUE(serves<ITovoAuthentication>(root, kCommonService));
    EXPECT_TRUE(serves<ITovoAddonBoxEx>(root, kChannelServiceEx));
    EXPECT_TRUE(serves<ITovoUICreator>(root, kUiCreatorService));

    EXPECT_FALSE(serves<ITovoBuddyList>(root, kChannelService));
    EXPECT_FALSE(serves<ITovoChannelInfomation>(root, "com.tovo.nosuchservice"));
    EXPECT_FALSE(root.getService(nullptr));
    EXPECT_FALSE(root.getService(kServiceConnection)) << "connections are made, not looked up";
    EXPECT_EQ(channel.references(), 0u);
}

TEST_F(HostServicesTest, CreateInstanceMakesOnlyServiceConnections)
{
    IUnk* out = reinterpret_cast<IUnk*>(0x1);
    EXPECT_NE(root.createInstance(hostsdk::kChannelService, nullptr, &out), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_NE(root.createInstance(hostsdk::kServiceConnection, nullptr, nullptr), 0);
    {
        comptr<ITovoServiceConnectionEx> first = newConnection();
        comptr<ITovoServiceConnectionEx> second = newConnection();
        ASSERT_TRUE(first && second);
        EXPECT_NE(first.get(), second.get());
        EXPECT_EQ(root.connections().size(), 2);
    }
    EXPECT_TRUE(root.connections().isEmpty()) << "the last release deletes a connection object";
}

TEST_F(HostServicesTest, ChannelNumbersWindowAndMemberRowComeFromTheLiveState)
{
    auto info = serviceInterface<ITovoChannelInfomation>(&root, hostsdk::kChannelService);
    auto users = serviceInterface<ITovoChannelUserList>(&root, hostsdk::kChannelService);
    auto windowService = serviceInterface<ITovoChannelWindow>(&root, hostsdk::kChannelService);
    EXPECT_EQ(info->getChannelId(), 3000u);
    EXPECT_EQ(info->getSubChannelId(), 4u);
    EXPECT_EQ(windowService->getWidget(), &window);

    Data::IRowPtr row;
    users->getMyChannelInfo(row, 0);
    ASSERT_TRUE(row);
    const unsigned short uid = insert_name_id(L"dwUid");
    const unsigned short role = insert_name_id(L"dwRole");
    const unsigned short sex = insert_name_id(L"btSex");
    const unsigned short nick = insert_name_id(L"strNickname");
    const unsigned short other = insert_name_id(L"dwSomethingElse");
    EXPECT_EQ(row->getUInt32(uid), 5001u);
    EXPECT_EQ(row->getUInt32(role), 20u);
    EXPECT_EQ(row->getByte(sex), 0);
    EXPECT_TRUE(row->hasValue(nick));
    EXPECT_EQ(row->getString(nick), L"小明");
    EXPECT_FALSE(row->hasValue(other));
    EXPECT_EQ(row->getUInt32(other), 0u);

    state.setSubChannelId(9);
    EXPECT_EQ(info->getSubChannelId(), 9u);
}

TEST_F(HostServicesTest, RoleAndSubChannelNotificationsCarryTheNewValues)
{
    auto info = serviceInterface<ITovoChannelInfomation>(&root, hostsdk::kChannelService);
    auto users = serviceInterface<ITovoChannelUserList>(&root, hostsdk::kChannelService);
    info->subChannelSwitchedSignal().connect(&listener, &Listener::onSubChannel);
    users->myChannelInfoChangedSignal().connect(&listener, &Listener::onRows);

    state.setRole(230);
    channel.notifyMyChannelInfoChanged();
    state.setSubChannelId(0);
    channel.notifySubChannelSwitched();

    ASSERT_EQ(listener.rowArrays.size(), 1u);
    ASSERT_EQ(listener.rowArrays[0]->count(), 1);
    Data::IRowPtr first;
    listener.rowArrays[0]->first(first);
    EXPECT_EQ(first->getUInt32(insert_name_id(L"dwRole")), 230u);
    EXPECT_EQ(listener.subChannels, std::vector<UINT32>{0});
}

TEST_F(HostServicesTest, KeywordFilterAnswersOnlyTheFilterMethodForTexts)
{
    auto filter = serviceInterface<ITovoChannelKeywordFilter>(&root, hostsdk::kChannelService);
    KeywordFilterValue result{0, QStringLiteral("unchanged")};
    EXPECT_TRUE(filter->invoke("filter", {8, QStringLiteral("不要刷票")}, result));
    EXPECT_EQ(result.text, QStringLiteral("不要**"));
    EXPECT_EQ(result.kind, 8);

    KeywordFilterValue untouched{0, QStringLiteral("unchanged")};
    EXPECT_FALSE(filter->invoke("translate", {8, QStringLiteral("刷票")}, untouched));
    EXPECT_FALSE(filter->invoke("filter", {3, QStringLiteral("刷票")}, untouched));
    EXPECT_FALSE(filter->invoke(nullptr, {8, QStringLiteral("刷票")}, untouched));
    EXPECT_EQ(untouched.text, QStringLiteral("unchanged"));
}

TEST_F(HostServicesTest, BuddyAnswerArrivesLaterWithImidNickAndGender)
{
    auto buddies = serviceInterface<ITovoBuddyList>(&root, hostsdk::kImGroupService);
    auto auth = serviceInterface<ITovoAuthentication>(&root, hostsdk::kCommonService);
    buddies->userInfoSignal().connect(&listener, &Listener::onUserInfo);
    EXPECT_EQ(auth->getUid(), 5001u);

    buddies->requestUserInfo(auth->getUid(), 1);
    buddies->requestUserInfo(42, 1);
    EXPECT_TRUE(listener.answers.empty()) << "answers must not arrive inside the request";
    ASSERT_TRUE(waitUntil([&] { return listener.answers.size() == 2; }));
    EXPECT_EQ(listener.answers[0].first, 5001u);
    EXPECT_EQ(listener.answers[0].second->getString(L"imid"), L"85001");
    EXPECT_EQ(listener.answers[0].second->getString(L"nick"), L"小明");
    EXPECT_EQ(listener.answers[0].second->getString(L"gender"), L"female");
    EXPECT_EQ(listener.answers[1].first, 42u);
    EXPECT_EQ(listener.answers[1].second->getString(L"imid"), L"");
}

TEST_F(HostServicesTest, ConnectionOpensOnlyForTheVoteServiceOnAReadyTransport)
{
    comptr<ITovoServiceConnectionEx> link = newConnection();
    link->setServiceType(HostServiceConnection::kVoteServiceType);
    EXPECT_FALSE(link->isReady());
    EXPECT_EQ(link->openConnection(1), ITovoServiceConnectionEx::kInvalidConnection);

    transport.becomeReady();
    comptr<ITovoServiceConnectionEx> otherType = newConnection();
    otherType->setServiceType(12345);
    EXPECT_EQ(otherType->openConnection(1), ITovoServiceConnectionEx::kInvalidConnection);

    const UINT32 id = link->openConnection(1);
    ASSERT_NE(id, ITovoServiceConnectionEx::kInvalidConnection);
    link->send(id, "frame-1");
    link->send(id + 1000, "wrong-id");
    link->send(ITovoServiceConnectionEx::kInvalidConnection, "no-connection");
    EXPECT_EQ(transport.sent, std::vector<std::string>{"frame-1"});
    EXPECT_TRUE(root.anyConnectionOpen());
}

TEST_F(HostServicesTest, TransportDropIsReportedClosedAndItsReturnAsReady)
{
    transport.becomeReady();
    comptr<ITovoServiceConnectionEx> link = newConnection();
    link->setServiceType(HostServiceConnection::kVoteServiceType);
    link->readySignal().connect(&listener, &Listener::onReady);
    link->serviceClosedSignal().connect(&listener, &Listener::onServiceClosed);
    link->connectionClosedSignal().connect(&listener, &Listener::onConnectionClosed);
    link->dataSignal().connect(&listener, &Listener::onData);
    const UINT32 id = link->openConnection(1);

    transport.deliver("answer");
    ASSERT_EQ(listener.data.size(), 1u);
    EXPECT_EQ(listener.data[0], std::make_pair(id, std::string("answer")));

    transport.drop();
    EXPECT_EQ(listener.serviceClosedCount, 1);
    EXPECT_EQ(listener.closedIds, std::vector<UINT32>{id});
    EXPECT_FALSE(root.anyConnectionOpen());
    transport.deliver("lost");
    EXPECT_EQ(listener.data.size(), 1u) << "a closed id receives nothing";

    transport.becomeReady();
    EXPECT_EQ(listener.readyCount, 1);
    EXPECT_NE(link->openConnection(1), id) << "a reopened connection gets a fresh id";
}

// The add-on may drop its last reference from inside a data notification.
class ReleasingListener : public relay::trackable
{
public:
    void onData(UINT32, const std::string&) { link = nullptr; }
    comptr<ITovoServiceConnectionEx> link;
};

TEST_F(HostServicesTest, ReleasingTheConnectionInsideItsOwnNotificationIsSafe)
{
    transport.becomeReady();
    ReleasingListener releasing;
    releasing.link = newConnection();
    releasing.link->setServiceType(HostServiceConnection::kVoteServiceType);
    releasing.link->dataSignal().connect(&releasing, &ReleasingListener::onData);
    releasing.link->openConnection(1);
    releasing.link->openConnection(1);
    transport.deliver("bye");
    EXPECT_FALSE(releasing.link);
    EXPECT_TRUE(root.connections().isEmpty());
}

// A receiver that cannot read a frame and lets the decoder's exception escape.
class ThrowingListener : public relay::trackable
{
public:
    void onData(UINT32, const std::string& frame)
    {
        if (frame == "short")
            throw mpak::UnpackError("pop_uint32: not enough data");
        handled.push_back(frame);
    }
    std::vector<std::string> handled;
};

TEST_F(HostServicesTest, AReceiverThatThrowsLosesOnlyThatFrame)
{
    transport.becomeReady();
    ThrowingListener throwing;
    comptr<ITovoServiceConnectionEx> link = newConnection();
    link->setServiceType(HostServiceConnection::kVoteServiceType);
    link->dataSignal().connect(&throwing, &ThrowingListener::onData);
    link->openConnection(1);
    EXPECT_NO_THROW(transport.deliver("short"));
    transport.deliver("whole");
    EXPECT_EQ(throwing.handled, std::vector<std::string>{"whole"});
    EXPECT_EQ(static_cast<HostServiceConnection*>(link.get())->receiverFailures(), 1u);
}

TEST_F(HostServicesTest, AddonBoxItemBecomesAButtonWhoseClickReachesTheItemAsSender)
{
    auto box = serviceInterface<ITovoAddonBoxEx>(&root, hostsdk::kChannelServiceEx);
    TovoAddonBoxItem* item = box->createItem(1000, 1100);
    ASSERT_NE(item, nullptr);
    item->setObjectName("quorixItem");
    item->setImagePath(":/qt-project.org/styles/commonstyle/images/standardbutton-apply-32.png");
    item->setText(QStringLiteral("投票2.0"));
    item->setToolTipText(QStringLiteral("投票2.0"));

    QToolButton* button = addonBox.buttonFor(item);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->objectName(), "quorixItem");
    EXPECT_EQ(button->text(), QStringLiteral("投票2.0"));
    EXPECT_EQ(button->toolTip(), QStringLiteral("投票2.0"));
    EXPECT_FALSE(button->icon().isNull());

    window.show();
    QSignalSpy clicked(item, &TovoAddonBoxItem::clicked);
    LocatedWidget target;
    target.widget = button;
    ASSERT_TRUE(SyntheticMouse::click(target));
    EXPECT_EQ(clicked.count(), 1);
}

} // namespace
