#include "host/services/hostbuddylist.h"

#include "host/services/hostpropbag.h"

#include <QTimer>

bool HostBuddyList::queryInterface(const InterfaceId& iid, void** out)
{
    if (iid == IUnk::iid() || iid == ITovoBuddyList::iid()) {
        addRef();
        *out = static_cast<ITovoBuddyList*>(this);
        return true;
    }
    *out = nullptr;
    return false;
}

void HostBuddyList::requestUserInfo(UINT32 uid, int)
{
    QTimer::singleShot(kAnswerDelayMs, &m_context, [this, uid] { answer(uid); });
}

void HostBuddyList::answer(UINT32 uid)
{
    std::map<std::wstring, std::wstring> values;
    const HostIdentity& me = m_state->identity();
    if (uid == me.uid) {
        values[L"imid"] = std::to_wstring(me.imid);
        values[L"nick"] = me.nick.toStdWString();
        values[L"gender"] = genderText(me.sex);
    }
    m_userInfo(uid, HostPropBag::create(std::move(values)));
}

std::wstring HostBuddyList::genderText(quint8 sex)
{
    if (sex == 0)
        return L"female";
    if (sex == 1)
        return L"male";
    return std::wstring();
}
