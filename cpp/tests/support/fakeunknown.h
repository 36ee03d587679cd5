#pragma once

// Reference counting and interface look-up for the fake host objects. The fakes are owned by the
// test (through FakeHost); their count is only watched, so tests can check that every reference
// the add-on took was given back. release() never deletes.

#include "iunk.h"

#include <set>
#include <string>

template <class First, class... Rest> class FakeUnknown : public First, public Rest...
{
public:
    FakeUnknown() = default;
    FakeUnknown(const FakeUnknown&) = delete;
    FakeUnknown& operator=(const FakeUnknown&) = delete;
    virtual ~FakeUnknown() = default;

    unsigned long addRef() override { return static_cast<unsigned long>(++m_refs); }
    unsigned long release() override { return static_cast<unsigned long>(--m_refs); }
    long reservedOperation() override { return 0; }

    bool queryInterface(const InterfaceId& iid, void** out) override
    {
        if (out == nullptr)
            return false;
        *out = nullptr;
        if (iid.name != nullptr && m_hidden.count(iid.name) != 0)
            return false;
        if (iid == IUnk::iid())
            *out = unknown();
        else
            *out = find<First, Rest...>(iid);
        if (*out == nullptr)
            return false;
        addRef();
        return true;
    }

    // The object as its first interface's IUnk view.
    IUnk* unknown() { return static_cast<First*>(this); }

    // References the add-on holds now (adds minus releases).
    long refCount() const { return m_refs; }

    // queryInterface refuses a hidden interface, as a host without it would.
    void hideInterface(const InterfaceId& iid) { m_hidden.insert(iid.name); }
    void showInterface(const InterfaceId& iid) { m_hidden.erase(iid.name); }

private:
    template <class I, class... More> void* find(const InterfaceId& iid)
    {
        if (iid == I::iid())
            return static_cast<I*>(this);
        if constexpr (sizeof...(More) > 0)
            return find<More...>(iid);
        return nullptr;
    }

    long m_refs = 0;
    std::set<std::string> m_hidden;
};
