#pragma once

// A private connection object to the host's servers, created per caller with
// createInstance("com.tovo.serviceconnection"). Frames are u32 major type, u32 minor type,
// u16 payload length and the payload, all little-endian.

#include "hosttypes.h"
#include "iunk.h"
#include "relay.h"

#include <string>

class ITovoServiceConnectionEx : public IUnk
{
public:
    HOSTSDK_INTERFACE_ID(ITovoServiceConnectionEx)

    static constexpr UINT32 kInvalidConnection = 0xFFFFFFFF;

    virtual void send(UINT32 connectionId, const std::string& frame) = 0; // 5
    virtual UINT32 openConnection(int kind) = 0;                          // 6: kInvalidConnection on failure
    HOSTSDK_RESERVED(7)
    virtual bool isReady() = 0;                                           // 8
    virtual relay::signal0& readySignal() = 0;                            // 9
    virtual relay::signal0& serviceClosedSignal() = 0;                    // 10
    virtual relay::signal1<UINT32>& connectionClosedSignal() = 0;         // 11: connection id
    virtual relay::signal2<UINT32, const std::string&>& dataSignal() = 0; // 12: connection id, frame
    virtual void setServiceType(int serviceType) = 0;                     // 13

protected:
    ~ITovoServiceConnectionEx() = default;
};
