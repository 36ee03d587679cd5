#pragma once

// User information by user id: a request, answered later through userInfoSignal with a property
// bag holding "imid", "nick" and "gender".

#include "hosttypes.h"
#include "ipropbagwrapper.h"
#include "relay.h"

class ITovoBuddyList : public IUnk
{
public:
    HOSTSDK_INTERFACE_ID(ITovoBuddyList)

    HOSTSDK_RESERVED(5)
    HOSTSDK_RESERVED(6)
    HOSTSDK_RESERVED(7)
    HOSTSDK_RESERVED(8)
    HOSTSDK_RESERVED(9)
    HOSTSDK_RESERVED(10)
    HOSTSDK_RESERVED(11)
    HOSTSDK_RESERVED(12)
    HOSTSDK_RESERVED(13)
    // 14: asks for the user's information; the add-on passes mode 1.
    virtual void requestUserInfo(UINT32 uid, int mode) = 0;
    HOSTSDK_RESERVED(15)
    HOSTSDK_RESERVED(16)
    HOSTSDK_RESERVED(17)
    HOSTSDK_RESERVED(18)
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
    // 30: emitted with the user id and the answer to a request.
    virtual relay::signal2<unsigned int, comptr<IPropBagWrapper>>& userInfoSignal() = 0;

protected:
    ~ITovoBuddyList() = default;
};
