#pragma once

// The host's channel window.

#include "iunk.h"

class QWidget;

class ITovoChannelWindow : public IUnk
{
public:
    HOSTSDK_INTERFACE_ID(ITovoChannelWindow)

    virtual QWidget* getWidget() = 0; // 5: owned by the host; null when there is no window

protected:
    ~ITovoChannelWindow() = default;
};
