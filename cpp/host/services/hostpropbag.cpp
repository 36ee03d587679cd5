#include "host/services/hostpropbag.h"

comptr<IPropBagWrapper> HostPropBag::create(std::map<std::wstring, std::wstring> values)
{
    return comptr<IPropBagWrapper>(new HostPropBag(std::move(values)));
}

unsigned long HostPropBag::addRef()
{
    return ++m_refs;
}

unsigned long HostPropBag::release()
{
    const unsigned long left = --m_refs;
    if (left == 0)
        delete this;
    return left;
}

bool HostPropBag::queryInterface(const InterfaceId& iid, void** out)
{
    if (iid == IUnk::iid() || iid == IPropBagWrapper::iid()) {
        addRef();
        *out = static_cast<IPropBagWrapper*>(this);
        return true;
    }
    *out = nullptr;
    return false;
}

std::wstring HostPropBag::getString(const wchar_t* key)
{
    if (key == nullptr)
        return std::wstring();
    const auto found = m_values.find(key);
    return found != m_values.end() ? found->second : std::wstring();
}
