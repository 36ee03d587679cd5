#pragma once

// The channel service's add-on information. The entry component only asks for it.

#include "iunk.h"

class ITovoAddonInfo : public IUnk
{
public:
    HOSTSDK_INTERFACE_ID(ITovoAddonInfo)

protected:
    ~ITovoAddonInfo() = default;
};
