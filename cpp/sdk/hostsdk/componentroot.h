#pragma once

// The host's component root, given to the entry component's onLoad and to the application's
// onLoadEntAddon. Services are reached by id; the caller then asks for the interface it wants.

#include "comptr.h"

class IComponentRoot : public IUnk
{
public:
    HOSTSDK_INTERFACE_ID(IComponentRoot)

    // 5: a new object of the given service; 0 on success. The context is always null.
    virtual int createInstance(const char* serviceId, IUnk* context, IUnk** out) = 0;
    // 6: the service object, or null when the host has no such service.
    virtual comptr<IUnk> getService(const char* serviceId) = 0;

protected:
    ~IComponentRoot() = default;
};

using IComponentRootPtr = comptr<IComponentRoot>;

// getService followed by queryInterface; the first reference is dropped.
template <class T> comptr<T> serviceInterface(IComponentRoot* root, const char* serviceId)
{
    if (root == nullptr)
        return nullptr;
    comptr<IUnk> service = root->getService(serviceId);
    return queryInterface<T>(service);
}
