#pragma once

// Rows of host data: a row maps 16-bit property ids (from insert_name_id) to values; a row array
// is an ordered list of rows. Both are counted host objects.

#include "comptr.h"
#include "hosttypes.h"

#include <QMetaType>

#include <string>

namespace Data {

class IRow : public IUnk
{
public:
    HOSTSDK_INTERFACE_ID(IRow)

    virtual int hasValue(const unsigned short& propertyId) = 0;           // 5: non-zero when present
    virtual std::wstring getString(const unsigned short& propertyId) = 0; // 6: empty when absent
    HOSTSDK_RESERVED(7)
    virtual UINT32 getUInt32(const unsigned short& propertyId) = 0; // 8: 0 when absent
    HOSTSDK_RESERVED(9)
    virtual unsigned char getByte(const unsigned short& propertyId) = 0; // 10: 0 when absent

protected:
    ~IRow() = default;
};

using IRowPtr = comptr<IRow>;

class IRowArray : public IUnk
{
public:
    HOSTSDK_INTERFACE_ID(IRowArray)

    virtual int count() = 0; // 5
    HOSTSDK_RESERVED(6)
    HOSTSDK_RESERVED(7)
    virtual void first(IRowPtr& out) = 0; // 8: the first row, or null when empty

protected:
    ~IRowArray() = default;
};

using IRowArrayPtr = comptr<IRowArray>;

} // namespace Data

Q_DECLARE_METATYPE(Data::IRowArrayPtr)
