#include "host/services/hostcomponentroot.h"

#include "host/services/hostaddonbox.h"
#include "host/services/hostauthentication.h"
#include "host/services/hostbuddylist.h"
#include "host/services/hostchannelservice.h"
#include "host/services/hostserviceconnection.h"

#include "itovouicreator.h"
#include "serviceids.h"

#include <cstring>

namespace {

bool same(const char* a, const char* b)
{
    return a != nullptr && std::strcmp(a, b) == 0;
}

} // namespace

bool HostComponentRoot::queryInterface(const InterfaceId& iid, void** out)
{
    if (iid == IUnk::iid() || iid == IComponentRoot::iid()) {
        addRef();
        *out = static_cast<IComponentRoot*>(this);
        return true;
    }
    *out = nullptr;
    return false;
}

int HostComponentRoot::createInstance(const char* serviceId, IUnk*, IUnk** out)
{
    if (out == nullptr)
        return kNoSuchService;
    *out = nullptr;
    if (!same(serviceId, hostsdk::kServiceConnection))
        return kNoSuchService;
    m_connections.removeAll(QPointer<HostServiceConnection>());
    auto* connection = new HostServiceConnection(m_services.transport);
    m_connections.append(connection);
    IUnk* unknown = static_cast<ITovoServiceConnectionEx*>(connection);
    unknown->addRef();
    *out = unknown;
    if (m_observer)
        m_observer(connection);
    return 0;
}

comptr<IUnk> HostComponentRoot::getService(const char* serviceId)
{
    IUnk* service = nullptr;
    if (same(serviceId, hostsdk::kChannelService) && m_services.channel)
        service = m_services.channel->unknown();
    else if (same(serviceId, hostsdk::kImGroupService))
        service = m_services.buddyList;
    else if (same(serviceId, hostsdk::kCommonService))
        service = m_services.authentication;
    else if (same(serviceId, hostsdk::kChannelServiceEx))
        service = m_services.addonBox ? static_cast<ITovoAddonBoxEx*>(m_services.addonBox) : nullptr;
    else if (same(serviceId, hostsdk::kUiCreatorService))
        service = m_services.uiCreator;
    return comptr<IUnk>(service);
}

QList<HostServiceConnection*> HostComponentRoot::connections() const
{
    QList<HostServiceConnection*> alive;
    for (const auto& connection : m_connections) {
        if (connection)
            alive << connection.data();
    }
    return alive;
}

bool HostComponentRoot::anyConnectionOpen() const
{
    for (HostServiceConnection* connection : connections()) {
        if (connection->hasOpenConnection() && connection->isReady())
            return true;
    }
    return false;
}
