#pragma once

// A property bag of texts, as the buddy list answers with it.

#include "tests/support/fakeunknown.h"
#include "ipropbagwrapper.h"

#include <map>
#include <string>

class FakePropBag : public FakeUnknown<IPropBagWrapper>
{
public:
    FakePropBag& set(const std::wstring& key, const std::wstring& value)
    {
        m_values[key] = value;
        return *this;
    }

    std::wstring getString(const wchar_t* key) override
    {
        const auto found = m_values.find(key != nullptr ? key : L"");
        return found == m_values.end() ? std::wstring() : found->second;
    }

private:
    std::map<std::wstring, std::wstring> m_values;
};
