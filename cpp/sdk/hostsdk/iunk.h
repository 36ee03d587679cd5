#pragma once

// Base of every host interface. Host interfaces are tables of operations reached by position:
// operations are declared in table order and carry no virtual destructor, so positions 1 to 4
// are addRef, release, queryInterface and the fourth operation, and an interface's own
// operations start at position 5. Objects are destroyed by their last release().

#include <cstring>

// Names an interface: "<InterfaceName>_UUID". Two identifiers are equal when their name
// pointers or their texts are equal.
struct InterfaceId
{
    const char* name = nullptr;

    bool operator==(const InterfaceId& other) const
    {
        if (name == other.name)
            return true;
        return name != nullptr && other.name != nullptr && std::strcmp(name, other.name) == 0;
    }
    bool operator!=(const InterfaceId& other) const { return !(*this == other); }
};

// Declares `static const InterfaceId& iid()` for an interface; static members take no position.
#define HOSTSDK_INTERFACE_ID(Interface)                                                                      \
    static const InterfaceId& iid()                                                                          \
    {                                                                                                        \
        static const InterfaceId id{#Interface "_UUID"};                                                     \
        return id;                                                                                           \
    }

class IUnk
{
public:
    HOSTSDK_INTERFACE_ID(IUnk)

    virtual unsigned long addRef() = 0;                                  // 1
    virtual unsigned long release() = 0;                                 // 2
    virtual bool queryInterface(const InterfaceId& iid, void** out) = 0; // 3: true gives a new reference
    virtual long reservedOperation() = 0;                                // 4: the host's; answered 0

protected:
    ~IUnk() = default;
};
