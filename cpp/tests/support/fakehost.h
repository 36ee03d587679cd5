#pragma once

// A complete fake host for tests: a component root serving every service the add-on uses, each a
// controllable fake. Services can be removed to play a host without them, and createInstance can
// be made to fail. The host owns every fake; references the add-on takes are counted by the fakes
// (refCount) so tests can check they are all given back.
//
//   FakeHost host;
//   host.channel().setChannelId(888);
//   host.channel().myRow().setUInt32(L"dwRole", 255);
//   bridge.init(IComponentRootPtr(host.root()));

#include "componentroot.h"
#include "tests/support/fakeaddonbox.h"
#include "tests/support/fakebuddyservice.h"
#include "tests/support/fakechannelservice.h"
#include "tests/support/fakecommonservice.h"
#include "tests/support/fakeserviceconnection.h"
#include "tests/support/fakeuicreator.h"
#include "tests/support/fakeunknown.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class FakeHost : public FakeUnknown<IComponentRoot>
{
public:
    FakeHost();
    ~FakeHost() override;

    IComponentRoot* root() { return this; }

    FakeChannelService& channel() { return *m_channel; }
    FakeBuddyService& buddies() { return *m_buddies; }
    FakeCommonService& common() { return *m_common; }
    FakeAddonBox& addonBox() { return *m_addonBox; }
    FakeUICreator& uiCreator() { return *m_uiCreator; }

    // Every connection object createInstance made, oldest first; null when none yet.
    const std::vector<std::unique_ptr<FakeServiceConnection>>& connections() const { return m_connections; }
    FakeServiceConnection* lastConnection() const;
    // Settings applied to each connection object when it is created.
    void setConnectionsReady(bool ready) { m_connectionsReady = ready; }

    // A removed service is answered with null by getService / a failure by createInstance.
    void removeService(const std::string& serviceId) { m_removed.insert(serviceId); }
    void restoreService(const std::string& serviceId) { m_removed.erase(serviceId); }
    // createInstance returns this code (0 = success) without creating anything when non-zero.
    void setCreateInstanceResult(int result) { m_createResult = result; }

    int getServiceCalls(const std::string& serviceId) const;
    // References held on all services and connections together (the root itself excluded).
    long serviceRefCount() const;

    int createInstance(const char* serviceId, IUnk* context, IUnk** out) override;
    comptr<IUnk> getService(const char* serviceId) override;

private:
    std::unique_ptr<FakeChannelService> m_channel;
    std::unique_ptr<FakeBuddyService> m_buddies;
    std::unique_ptr<FakeCommonService> m_common;
    std::unique_ptr<FakeAddonBox> m_addonBox;
    std::unique_ptr<FakeUICreator> m_uiCreator;
    std::vector<std::unique_ptr<FakeServiceConnection>> m_connections;
    std::set<std::string> m_removed;
    std::map<std::string, int> m_getServiceCalls;
    bool m_connectionsReady = false;
    int m_createResult = 0;
};
