#pragma once

// What the host calls on an add-on component it created by component id.

#include "componentroot.h"

class IFenComponentEntry : public IUnk
{
public:
    HOSTSDK_INTERFACE_ID(IFenComponentEntry)

    // 5: the host hands over its component root (the component takes no reference); false
    // when the component refuses to load.
    virtual bool onLoad(IComponentRoot* root) = 0;
    // 6: the component lets go of the root and everything it built.
    virtual bool onUnLoad() = 0;

protected:
    ~IFenComponentEntry() = default;
};
