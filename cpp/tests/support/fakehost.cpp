#include "tests/support/fakehost.h"

#include "serviceids.h"

FakeHost::FakeHost()
    : m_channel(std::make_unique<FakeChannelService>()), m_buddies(std::make_unique<FakeBuddyService>()),
      m_common(std::make_unique<FakeCommonService>()), m_addonBox(std::make_unique<FakeAddonBox>()),
      m_uiCreator(std::make_unique<FakeUICreator>())
{}

FakeHost::~FakeHost() = default;

FakeServiceConnection* FakeHost::lastConnection() const
{
    return m_connections.empty() ? nullptr : m_connections.back().get();
}

int FakeHost::getServiceCalls(const std::string& serviceId) const
{
    const auto found = m_getServiceCalls.find(serviceId);
    return found == m_getServiceCalls.end() ? 0 : found->second;
}

long FakeHost::serviceRefCount() const
{
    long refs = m_channel->refCount() + m_buddies->refCount() + m_common->refCount() +
                m_addonBox->refCount() + m_uiCreator->refCount();
    for (const auto& connection : m_connections)
        refs += connection->refCount();
    return refs;
}

int FakeHost::createInstance(const char* serviceId, IUnk*, IUnk** out)
{
    if (out == nullptr)
        return -1;
    *out = nullptr;
    const std::string id = serviceId != nullptr ? serviceId : "";
    if (m_createResult != 0)
        return m_createResult;
    if (id != hostsdk::kServiceConnection || m_removed.count(id) != 0)
        return -1;
    m_connections.push_back(std::make_unique<FakeServiceConnection>());
    FakeServiceConnection* connection = m_connections.back().get();
    connection->setReady(m_connectionsReady);
    *out = connection->unknown();
    connection->addRef();
    return 0;
}

comptr<IUnk> FakeHost::getService(const char* serviceId)
{
    const std::string id = serviceId != nullptr ? serviceId : "";
    ++m_getServiceCalls[id];
    if (m_removed.count(id) != 0)
        return nullptr;
    if (id == hostsdk::kChannelService)
        return comptr<IUnk>(m_channel->unknown());
    if (id == hostsdk::kImGroupService)
        return comptr<IUnk>(m_buddies->unknown());
    if (id == hostsdk::kCommonService)
        return comptr<IUnk>(m_common->unknown());
    if (id == hostsdk::kChannelServiceEx)
        return comptr<IUnk>(m_addonBox->unknown());
    if (id == hostsdk::kUiCreatorService)
        return comptr<IUnk>(m_uiCreator->unknown());
    return nullptr;
}
