// The host reaches every interface operation by its position in the table of virtual operations,
// so each declaration order is checked here against the positions the host relies on.

#include "hostsdk.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

namespace {

// Position (counted from 1) of a virtual member function in its class's table. Under the
// Itanium C++ ABI a pointer to a virtual member holds 1 + the byte offset of its entry.
template <class F> std::ptrdiff_t position(F member)
{
    static_assert(sizeof(F) == 2 * sizeof(std::ptrdiff_t), "Itanium member pointer layout expected");
    std::ptrdiff_t raw = 0;
    std::memcpy(&raw, &member, sizeof raw);
    EXPECT_EQ(raw & 1, 1) << "not a virtual member";
    return (raw - 1) / static_cast<std::ptrdiff_t>(sizeof(void*)) + 1;
}

TEST(HostInterfacePositions, BaseAndRootOperations)
{
    EXPECT_EQ(position(&IUnk::addRef), 1);
    EXPECT_EQ(position(&IUnk::release), 2);
    EXPECT_EQ(position(&IUnk::queryInterface), 3);
    EXPECT_EQ(position(&IUnk::reservedOperation), 4);
    EXPECT_EQ(position(&IComponentRoot::createInstance), 5);
    EXPECT_EQ(position(&IComponentRoot::getService), 6);
    EXPECT_EQ(position(&IFenComponentEntry::onLoad), 5);
    EXPECT_EQ(position(&IFenComponentEntry::onUnLoad), 6);
    EXPECT_EQ(position(&IQuorix::onUnLoad), 6);
}

TEST(HostInterfacePositions, ChannelInterfaces)
{
    EXPECT_EQ(position(&ITovoChannelWindow::getWidget), 5);
    EXPECT_EQ(position(&ITovoChannelInfomation::getSubChannelId), 7);
    EXPECT_EQ(position(&ITovoChannelInfomation::getChannelId), 8);
    EXPECT_EQ(position(&ITovoChannelInfomation::subChannelSwitchedSignal), 11);
    EXPECT_EQ(position(&ITovoChannelKeywordFilter::invoke), 5);
    EXPECT_EQ(position(&ITovoChannelUserList::myChannelInfoChangedSignal), 18);
    EXPECT_EQ(position(&ITovoChannelUserList::getMyChannelInfo), 30);
}

TEST(HostInterfacePositions, UserInterfacesAndRows)
{
    EXPECT_EQ(position(&ITovoBuddyList::requestUserInfo), 14);
    EXPECT_EQ(position(&ITovoBuddyList::userInfoSignal), 30);
    EXPECT_EQ(position(&ITovoAuthentication::getUid), 12);
    EXPECT_EQ(position(&Data::IRow::hasValue), 5);
    EXPECT_EQ(position(&Data::IRow::getString), 6);
    EXPECT_EQ(position(&Data::IRow::getUInt32), 8);
    EXPECT_EQ(position(&Data::IRow::getByte), 10);
    EXPECT_EQ(position(&Data::IRowArray::count), 5);
    EXPECT_EQ(position(&Data::IRowArray::first), 8);
    EXPECT_EQ(position(&IPropBagWrapper::getString), 5);
}

TEST(HostInterfacePositions, ServiceConnection)
{
    EXPECT_EQ(position(&ITovoServiceConnectionEx::send), 5);
    EXPECT_EQ(position(&ITovoServiceConnectionEx::openConnection), 6);
    EXPECT_EQ(position(&ITovoServiceConnectionEx::isReady), 8);
    EXPECT_EQ(position(&ITovoServiceConnectionEx::readySignal), 9);
    EXPECT_EQ(position(&ITovoServiceConnectionEx::serviceClosedSignal), 10);
    EXPECT_EQ(position(&ITovoServiceConnectionEx::connectionClosedSignal), 11);
    EXPECT_EQ(position(&ITovoServiceConnectionEx::dataSignal), 12);
    EXPECT_EQ(position(&ITovoServiceConnectionEx::setServiceType), 13);
}

TEST(HostInterfacePositions, AddonBoxAndUiCreator)
{
    EXPECT_EQ(position(&ITovoAddonBoxEx::createItem), 9);
    EXPECT_EQ(position(&TovoAddonBoxItem::setImagePath), 14);
    EXPECT_EQ(position(&TovoAddonBoxItem::setToolTipText), 15);
    EXPECT_EQ(position(&TovoAddonBoxItem::setText), 16);
    EXPECT_EQ(position(&TovoAddonBoxItem::setName), 21);
    EXPECT_EQ(position(&TovoAddonBoxItem::setPriority), 28);
    EXPECT_EQ(position(&ITovoUICreator::createWindow), 6);
}

TEST(HostInterfaceIds, NamesFollowTheInterface)
{
    EXPECT_STREQ(ITovoBuddyList::iid().name, "ITovoBuddyList_UUID");
    EXPECT_STREQ(IQuorix::iid().name, "IQuorix_UUID");
    EXPECT_STREQ(IFenComponentEntry::iid().name, "IFenComponentEntry_UUID");
    const char copy[] = "ITovoServiceConnectionEx_UUID";
    EXPECT_EQ(ITovoServiceConnectionEx::iid(), InterfaceId{copy});
    EXPECT_NE(ITovoServiceConnectionEx::iid(), ITovoChannelUserList::iid());
}

} // namespace
