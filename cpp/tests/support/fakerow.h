#pragma once

// A host data row with settable columns, named as the host names them ("dwUid", "dwRole", ...).

#include "datarow.h"
#include "tests/support/fakeunknown.h"

#include <map>
#include <string>

class FakeRow : public FakeUnknown<Data::IRow>
{
public:
    FakeRow& setUInt32(const wchar_t* column, UINT32 value);
    FakeRow& setByte(const wchar_t* column, unsigned char value);
    FakeRow& setString(const wchar_t* column, const std::wstring& value);
    void removeValue(const wchar_t* column);

    int hasValue(const unsigned short& propertyId) override;
    std::wstring getString(const unsigned short& propertyId) override;
    UINT32 getUInt32(const unsigned short& propertyId) override;
    unsigned char getByte(const unsigned short& propertyId) override;

private:
    struct Value
    {
        UINT32 number = 0;
        std::wstring text;
    };
    std::map<unsigned short, Value> m_values;
};
