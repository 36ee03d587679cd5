#include "tests/support/fakerow.h"

#include "nameid.h"

FakeRow& FakeRow::setUInt32(const wchar_t* column, UINT32 value)
{
    m_values[insert_name_id(column)].number = value;
    return *this;
}

FakeRow& FakeRow::setByte(const wchar_t* column, unsigned char value)
{
    m_values[insert_name_id(column)].number = value;
    return *this;
}

FakeRow& FakeRow::setString(const wchar_t* column, const std::wstring& value)
{
    m_values[insert_name_id(column)].text = value;
    return *this;
}

void FakeRow::removeValue(const wchar_t* column)
{
    m_values.erase(insert_name_id(column));
}

int FakeRow::hasValue(const unsigned short& propertyId)
{
    return m_values.count(propertyId) != 0 ? 1 : 0;
}

std::wstring FakeRow::getString(const unsigned short& propertyId)
{
    const auto found = m_values.find(propertyId);
    return found == m_values.end() ? std::wstring() : found->second.text;
}

UINT32 FakeRow::getUInt32(const unsigned short& propertyId)
{
    const auto found = m_values.find(propertyId);
    return found == m_values.end() ? 0 : found->second.number;
}

unsigned char FakeRow::getByte(const unsigned short& propertyId)
{
    return static_cast<unsigned char>(getUInt32(propertyId));
}
