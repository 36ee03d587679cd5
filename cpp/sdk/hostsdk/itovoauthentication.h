#pragma once

// The logged-in user.

#include "hosttypes.h"
#include "iunk.h"

class ITovoAuthentication : public IUnk
{
public:
    HOSTSDK_INTERFACE_ID(ITovoAuthentication)

    HOSTSDK_RESERVED(5)
    HOSTSDK_RESERVED(6)
    HOSTSDK_RESERVED(7)
    HOSTSDK_RESERVED(8)
    HOSTSDK_RESERVED(9)
    HOSTSDK_RESERVED(10)
    HOSTSDK_RESERVED(11)
    virtual UINT32 getUid() = 0; // 12: 0 while nobody is logged in

protected:
    ~ITovoAuthentication() = default;
};
