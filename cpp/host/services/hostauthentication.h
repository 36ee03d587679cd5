#pragma once

// The host's authentication ("com.tovo.commonservice"): who is logged in. Owned by the host.

#include "host/windows/channelstate.h"

#include "itovoauthentication.h"

class HostAuthentication : public ITovoAuthentication
{
public:
    explicit HostAuthentication(ChannelState* state) : m_state(state) {}

    unsigned long addRef() override { return ++m_refs; }
    unsigned long release() override { return m_refs > 0 ? --m_refs : 0; }
    bool queryInterface(const InterfaceId& iid, void** out) override
    {
        const bool known = iid == IUnk::iid() || iid == ITovoAuthentication::iid();
        *out = known ? static_cast<ITovoAuthentication*>(this) : nullptr;
        if (known)
            addRef();
        return known;
    }
    long reservedOperation() override { return 0; }

    UINT32 getUid() override { return m_state->identity().uid; }

private:
    ChannelState* m_state;
    unsigned long m_refs = 0;
};
