#pragma once

// The host's channel add-on box.

#include "hosttypes.h"
#include "iunk.h"

class TovoAddonBoxItem;

class ITovoAddonBoxEx : public IUnk
{
public:
    HOSTSDK_INTERFACE_ID(ITovoAddonBoxEx)

    HOSTSDK_RESERVED(5)
    HOSTSDK_RESERVED(6)
    HOSTSDK_RESERVED(7)
    HOSTSDK_RESERVED(8)
    // 9: adds a button to the box and returns it, or null. The box owns the item; it stays valid
    // until the box is destroyed. The add-on passes 1000 and 1100.
    virtual TovoAddonBoxItem* createItem(int addonId, int slot) = 0;

protected:
    ~ITovoAddonBoxEx() = default;
};
