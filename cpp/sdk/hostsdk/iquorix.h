#pragma once

// The voting add-on's component interface; the host reaches the entry component through it.

#include "ifencomponententry.h"

class IQuorix : public IFenComponentEntry
{
public:
    HOSTSDK_INTERFACE_ID(IQuorix)

protected:
    ~IQuorix() = default;
};
