#include "host/services/hostrow.h"

#include "nameid.h"

namespace {

struct ColumnIds
{
    unsigned short uid = insert_name_id(L"dwUid");
    unsigned short sex = insert_name_id(L"btSex");
    unsigned short nick = insert_name_id(L"strNickname");
    unsigned short role = insert_name_id(L"dwRole");
};

const ColumnIds& columns()
{
    static const ColumnIds ids;
    return ids;
}

} // namespace

Data::IRowPtr HostRow::create(const HostIdentity& identity)
{
    return Data::IRowPtr(new HostRow(identity));
}

unsigned long HostRow::addRef()
{
    return ++m_refs;
}

unsigned long HostRow::release()
{
    const unsigned long left = --m_refs;
    if (left == 0)
        delete this;
    return left;
}

bool HostRow::queryInterface(const InterfaceId& iid, void** out)
{
    if (iid == IUnk::iid() || iid == Data::IRow::iid()) {
        addRef();
        *out = static_cast<Data::IRow*>(this);
        return true;
    }
    *out = nullptr;
    return false;
}

int HostRow::hasValue(const unsigned short& propertyId)
{
    const ColumnIds& ids = columns();
    return propertyId == ids.uid || propertyId == ids.sex || propertyId == ids.nick || propertyId == ids.role;
}

std::wstring HostRow::getString(const unsigned short& propertyId)
{
    return propertyId == columns().nick ? m_identity.nick.toStdWString() : std::wstring();
}

UINT32 HostRow::getUInt32(const unsigned short& propertyId)
{
    if (propertyId == columns().uid)
        return m_identity.uid;
    if (propertyId == columns().role)
        return m_identity.role;
    return 0;
}

unsigned char HostRow::getByte(const unsigned short& propertyId)
{
    return propertyId == columns().sex ? m_identity.sex : 0;
}
