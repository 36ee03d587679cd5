#pragma once

// A bag of named texts (the buddy list's answer). Counted; deletes itself on its last release.

#include "ipropbagwrapper.h"

#include <map>

class HostPropBag final : public IPropBagWrapper
{
public:
    static comptr<IPropBagWrapper> create(std::map<std::wstring, std::wstring> values);

    unsigned long addRef() override;
    unsigned long release() override;
    bool queryInterface(const InterfaceId& iid, void** out) override;
    long reservedOperation() override { return 0; }

    std::wstring getString(const wchar_t* key) override;

private:
    explicit HostPropBag(std::map<std::wstring, std::wstring> values) : m_values(std::move(values)) {}
    ~HostPropBag() = default;

    std::map<std::wstring, std::wstring> m_values;
    unsigned long m_refs = 0;
};
