#pragma once

// Numbers of the channel the user is in, and the sub-channel switch notification.

#include "hosttypes.h"
#include "iunk.h"
#include "relay.h"

class ITovoChannelInfomation : public IUnk
{
public:
    HOSTSDK_INTERFACE_ID(ITovoChannelInfomation)

    HOSTSDK_RESERVED(5)
    HOSTSDK_RESERVED(6)
    virtual UINT32 getSubChannelId() = 0; // 7
    virtual UINT32 getChannelId() = 0;    // 8
    HOSTSDK_RESERVED(9)
    HOSTSDK_RESERVED(10)
    // 11: emitted with the new sub-channel id after the user switched sub-channel.
    virtual relay::signal1<UINT32>& subChannelSwitchedSignal() = 0;

protected:
    ~ITovoChannelInfomation() = default;
};
