// The channel bridge: interface look-up and its failures, channel numbers, keyword filter and
// the sub-channel switch notification.

#include "src/quorixapp/entchannelinterface.h"
#include "tests/support/fakehost.h"
#include "logcapture.h"
#include "serviceids.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QWidget>

#include <memory>

namespace {

class ChannelBridge : public ::testing::Test
{
protected:
    void init() { bridge->init(IComponentRootPtr(host.root())); }

    FakeHost host;
    std::unique_ptr<EntChannelInterface> bridge = std::make_unique<EntChannelInterface>();
};

TEST_F(ChannelBridge, AnswersTheHostsNumbersAndWindowEachTime)
{
    QWidget window;
    host.channel().setWidget(&window);
    host.channel().setChannelId(888);
    host.channel().setSubChannelId(5);
    init();
    EXPECT_EQ(bridge->getChannelWindow(), &window);
    EXPECT_EQ(bridge->getChannelId(), 888u);
    EXPECT_EQ(bridge->getSubChannelId(), 5u);
    host.channel().setSubChannelId(6);
    EXPECT_EQ(bridge->getSubChannelId(), 6u);
}

TEST_F(ChannelBridge, ForwardsSubChannelSwitchesIncludingZero)
{
    init();
    QSignalSpy changed(bridge.get(), &EntChannelInterface::subChannelChanged);
    host.channel().switchSubChannel(42);
    host.channel().switchSubChannel(0);
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed[0][0].toUInt(), 42u);
    EXPECT_EQ(changed[1][0].toUInt(), 0u);
}

TEST_F(ChannelBridge, KeywordFilterIsCalledWithKindEightAndItsResultReturned)
{
    host.channel().setKeywords({"bad"});
    init();
    EXPECT_EQ(bridge->filterText("a bad vote"), "a *** vote");
    ASSERT_EQ(host.channel().filterCalls().size(), 1u);
    const auto& call = host.channel().filterCalls()[0];
    EXPECT_EQ(call.method, "filter");
    EXPECT_EQ(call.argumentKind, 8);
    EXPECT_EQ(call.resultKind, 8);
    EXPECT_EQ(call.text, "a bad vote");
}

TEST_F(ChannelBridge, EachMissingInterfaceStopsInitWithItsMessage)
{
    const struct
    {
        InterfaceId iid;
        const char* message;
    } cases[] = {
        {ITovoChannelWindow::iid(), "EntChannelInterface m_ITovoChannelWindowPtr is NULL"},
        {ITovoChannelInfomation::iid(), "EntChannelInterface m_ITovoChannelInfoPtr is NULL"},
        {ITovoChannelMaiXuList::iid(), "EntChannelInterface m_ITovoChannelMaixuListPtr is NULL"},
        {ITovoChannelMessageList::iid(), "EntChannelInterface m_TovoChannelMessageListPtr is NULL"},
        {ITovoChannelKeywordFilter::iid(), "EntChannelInterface m_TovoChannelKeywordPtr is NULL"},
    };
    for (const auto& c : cases) {
        FakeHost missing;
        missing.channel().hideInterface(c.iid);
        missing.channel().setChannelId(7);
        EntChannelInterface channel;
        QSignalSpy changed(&channel, &EntChannelInterface::subChannelChanged);
        fenbase::LogCapture capture;
        channel.init(IComponentRootPtr(missing.root()));
        ASSERT_EQ(capture.records().size(), 1u) << c.message;
        EXPECT_EQ(capture.records()[0].text, c.message);
        EXPECT_EQ(capture.records()[0].function, "EntChannelInterface::init");
        missing.channel().switchSubChannel(3);
        EXPECT_EQ(changed.count(), 0) << c.message;
        // Whatever was found still answers.
        EXPECT_EQ(channel.getChannelId(), c.iid == ITovoChannelInfomation::iid() ? 0u : 7u) << c.message;
    }
}

TEST_F(ChannelBridge, MissingMessageListStillLeavesWindowNumbersAndFilterWorking)
{
    QWidget window;
    host.channel().setWidget(&window);
    host.channel().setChannelId(9);
    host.channel().setKeywords({"x"});
    host.channel().hideInterface(ITovoChannelMessageList::iid());
    init();
    EXPECT_EQ(bridge->getChannelWindow(), &window);
    EXPECT_EQ(bridge->getChannelId(), 9u);
    EXPECT_EQ(bridge->filterText("xy"), "*y");
}

TEST_F(ChannelBridge, WithoutHostEverythingAnswersEmpty)
{
    const struct
    {
        const char* name;
        bool nullRoot;
    } cases[] = {{"no root", true}, {"no channel service", false}};
    for (const auto& c : cases) {
        FakeHost bare;
        bare.removeService(hostsdk::kChannelService);
        EntChannelInterface channel;
        fenbase::LogCapture capture;
        channel.init(c.nullRoot ? IComponentRootPtr() : IComponentRootPtr(bare.root()));
        EXPECT_EQ(capture.count("EntChannelInterface comRootPtr is NULL"), c.nullRoot ? 1 : 0) << c.name;
        EXPECT_EQ(channel.getChannelWindow(), nullptr) << c.name;
        EXPECT_EQ(channel.getChannelId(), 0u) << c.name;
        EXPECT_EQ(channel.getSubChannelId(), 0u) << c.name;
        EXPECT_TRUE(channel.filterText("any text").isEmpty()) << c.name;
    }
}

TEST_F(ChannelBridge, DestructionReleasesEveryInterfaceAndTheSwitchConnection)
{
    init();
    EXPECT_EQ(host.channel().refCount(), 5);
    EXPECT_EQ(host.refCount(), 0);
    bridge.reset();
    EXPECT_EQ(host.channel().refCount(), 0);
    EXPECT_EQ(host.channel().subChannelSwitchedSignal().slotCount(), 0);
    host.channel().switchSubChannel(1);
}

} // namespace
