#pragma once

// The channel's microphone queue. The add-on holds it without calling it.

#include "iunk.h"

class ITovoChannelMaiXuList : public IUnk
{
public:
    HOSTSDK_INTERFACE_ID(ITovoChannelMaiXuList)

protected:
    ~ITovoChannelMaiXuList() = default;
};
