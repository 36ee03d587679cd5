#pragma once

// The channel's member list as far as the local user is concerned: the local user's own row
// (columns "dwUid", "btSex", "strNickname", "dwRole") and its change notification.

#include "datarow.h"
#include "hosttypes.h"
#include "relay.h"

class ITovoChannelUserList : public IUnk
{
public:
    HOSTSDK_INTERFACE_ID(ITovoChannelUserList)

    HOSTSDK_RESERVED(5)
    HOSTSDK_RESERVED(6)
    HOSTSDK_RESERVED(7)
    HOSTSDK_RESERVED(8)
    HOSTSDK_RESERVED(9)
    HOSTSDK_RESERVED(10)
    HOSTSDK_RESERVED(11)
    HOSTSDK_RESERVED(12)
    HOSTSDK_RESERVED(13)
    HOSTSDK_RESERVED(14)
    HOSTSDK_RESERVED(15)
    HOSTSDK_RESERVED(16)
    HOSTSDK_RESERVED(17)
    // 18: emitted when the local user's row changed; carries the changed rows (may be null).
    virtual relay::signal1<Data::IRowArrayPtr>& myChannelInfoChangedSignal() = 0;
    HOSTSDK_RESERVED(19)
    HOSTSDK_RESERVED(20)
    HOSTSDK_RESERVED(21)
    HOSTSDK_RESERVED(22)
    HOSTSDK_RESERVED(23)
    HOSTSDK_RESERVED(24)
    HOSTSDK_RESERVED(25)
    HOSTSDK_RESERVED(26)
    HOSTSDK_RESERVED(27)
    HOSTSDK_RESERVED(28)
    HOSTSDK_RESERVED(29)
    // 30: the local user's row, or null while the host has none. The add-on passes mode 0.
    virtual void getMyChannelInfo(Data::IRowPtr& out, int mode) = 0;

protected:
    ~ITovoChannelUserList() = default;
};
