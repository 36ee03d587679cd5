#pragma once

// The component root the host hands to add-ons: services by id, and new service connections on
// the host's service transport. The services belong to the host and outlive every add-on.

#include "componentroot.h"

#include <QList>
#include <QPointer>

#include <functional>

class HostAddonBox;
class HostAuthentication;
class HostBuddyList;
class HostChannelService;
class HostServiceConnection;
class ITovoUICreator;
class ServiceTransport;

struct HostServices
{
    HostChannelService* channel = nullptr;
    HostBuddyList* buddyList = nullptr;
    HostAuthentication* authentication = nullptr;
    HostAddonBox* addonBox = nullptr;
    ITovoUICreator* uiCreator = nullptr;
    ServiceTransport* transport = nullptr;
};

class HostComponentRoot : public IComponentRoot
{
public:
    explicit HostComponentRoot(const HostServices& services) : m_services(services) {}
    HostComponentRoot(const HostComponentRoot&) = delete;
    HostComponentRoot& operator=(const HostComponentRoot&) = delete;

    unsigned long addRef() override { return ++m_refs; }
    unsigned long release() override { return m_refs > 0 ? --m_refs : 0; }
    bool queryInterface(const InterfaceId& iid, void** out) override;
    long reservedOperation() override { return 0; }

    int createInstance(const char* serviceId, IUnk* context, IUnk** out) override;
    comptr<IUnk> getService(const char* serviceId) override;

    // Called with every connection object createInstance makes.
    void setConnectionObserver(std::function<void(HostServiceConnection*)> observer)
    {
        m_observer = std::move(observer);
    }

    // Connection objects still alive (released ones drop out).
    QList<HostServiceConnection*> connections() const;
    // Some add-on has a connection open on a ready transport.
    bool anyConnectionOpen() const;
    unsigned long references() const { return m_refs; }

    static constexpr int kNoSuchService = -1;

private:
    HostServices m_services;
    QList<QPointer<HostServiceConnection>> m_connections;
    std::function<void(HostServiceConnection*)> m_observer;
    unsigned long m_refs = 0;
};
