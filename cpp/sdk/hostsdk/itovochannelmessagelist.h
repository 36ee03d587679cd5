#pragma once

// The channel's message list. The add-on holds it without calling it.

#include "iunk.h"

class ITovoChannelMessageList : public IUnk
{
public:
    HOSTSDK_INTERFACE_ID(ITovoChannelMessageList)

protected:
    ~ITovoChannelMessageList() = default;
};
