#pragma once

// The local user's channel member row ("dwUid", "btSex", "strNickname", "dwRole"), a counted
// host object that deletes itself on its last release. A snapshot: later changes of the user
// make new rows.

#include "datarow.h"
#include "host/transports/hostidentity.h"

class HostRow final : public Data::IRow
{
public:
    static Data::IRowPtr create(const HostIdentity& identity);

    unsigned long addRef() override;
    unsigned long release() override;
    bool queryInterface(const InterfaceId& iid, void** out) override;
    long reservedOperation() override { return 0; }

    int hasValue(const unsigned short& propertyId) override;
    std::wstring getString(const unsigned short& propertyId) override;
    UINT32 getUInt32(const unsigned short& propertyId) override;
    unsigned char getByte(const unsigned short& propertyId) override;

private:
    explicit HostRow(const HostIdentity& identity) : m_identity(identity) {}
    ~HostRow() = default;

    HostIdentity m_identity;
    unsigned long m_refs = 0;
};
