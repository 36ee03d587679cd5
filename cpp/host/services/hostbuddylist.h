#pragma once

// The host's buddy list ("com.tovo.imgroupservice"): answers a user-information request later,
// from the event loop, with the user's "imid", "nick" and "gender". Only the local user is known;
// a request for anyone else is answered with an empty bag. Owned by the host.

#include "host/windows/channelstate.h"

#include "itovobuddylist.h"

#include <QObject>

class HostBuddyList : public ITovoBuddyList
{
public:
    static constexpr int kAnswerDelayMs = 20;

    explicit HostBuddyList(ChannelState* state) : m_state(state) {}
    HostBuddyList(const HostBuddyList&) = delete;
    HostBuddyList& operator=(const HostBuddyList&) = delete;

    unsigned long addRef() override { return ++m_refs; }
    unsigned long release() override { return m_refs > 0 ? --m_refs : 0; }
    bool queryInterface(const InterfaceId& iid, void** out) override;
    long reservedOperation() override { return 0; }

    void requestUserInfo(UINT32 uid, int mode) override;
    relay::signal2<unsigned int, comptr<IPropBagWrapper>>& userInfoSignal() override { return m_userInfo; }

    static std::wstring genderText(quint8 sex);

private:
    void answer(UINT32 uid);

    ChannelState* m_state;
    QObject m_context; // pending answers die with the list
    relay::signal2<unsigned int, comptr<IPropBagWrapper>> m_userInfo;
    unsigned long m_refs = 0;
};
