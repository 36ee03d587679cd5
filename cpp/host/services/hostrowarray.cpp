#include "host/services/hostrowarray.h"

Data::IRowArrayPtr HostRowArray::create(std::vector<Data::IRowPtr> rows)
{
    return Data::IRowArrayPtr(new HostRowArray(std::move(rows)));
}

unsigned long HostRowArray::addRef()
{
    return ++m_refs;
}

unsigned long HostRowArray::release()
{
    const unsigned long left = --m_refs;
    if (left == 0)
        delete this;
    return left;
}

bool HostRowArray::queryInterface(const InterfaceId& iid, void** out)
{
    if (iid == IUnk::iid() || iid == Data::IRowArray::iid()) {
        addRef();
        *out = static_cast<Data::IRowArray*>(this);
        return true;
    }
    *out = nullptr;
    return false;
}

void HostRowArray::first(Data::IRowPtr& out)
{
    out = m_rows.empty() ? nullptr : m_rows.front();
}
