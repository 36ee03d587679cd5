#pragma once

// One service connection object as "com.tovo.serviceconnection" creates it: records what the
// add-on sends and lets the test play the host's notifications and incoming frames.

#include "tests/support/fakeunknown.h"
#include "itovoserviceconnectionex.h"

#include <string>
#include <utility>
#include <vector>

class FakeServiceConnection : public FakeUnknown<ITovoServiceConnectionEx>
{
public:
    void setReady(bool ready) { m_ready = ready; }
    // The id the next openConnection returns (kInvalidConnection plays a failure).
    void setNextConnectionId(UINT32 id) { m_nextId = id; }

    // Host notifications.
    void fireReady() { m_readySignal.fire(); }
    void fireServiceClosed() { m_serviceClosed.fire(); }
    void fireConnectionClosed(UINT32 connectionId) { m_connectionClosed.fire(connectionId); }
    void deliver(UINT32 connectionId, const std::string& frame) { m_data.fire(connectionId, frame); }

    // What the add-on did.
    const std::vector<std::pair<UINT32, std::string>>& sent() const { return m_sent; }
    void clearSent() { m_sent.clear(); }
    int openCount() const { return m_openCount; }
    int lastOpenKind() const { return m_lastOpenKind; }
    int serviceType() const { return m_serviceType; }
    int isReadyCalls() const { return m_isReadyCalls; }
    int dataSlots() const { return m_data.slotCount(); }
    int readySlots() const { return m_readySignal.slotCount(); }

    void send(UINT32 connectionId, const std::string& frame) override
    {
        m_sent.emplace_back(connectionId, frame);
    }
    UINT32 openConnection(int kind) override;
    bool isReady() override
    {
        ++m_isReadyCalls;
        return m_ready;
    }
    relay::signal0& readySignal() override { return m_readySignal; }
    relay::signal0& serviceClosedSignal() override { return m_serviceClosed; }
    relay::signal1<UINT32>& connectionClosedSignal() override { return m_connectionClosed; }
    relay::signal2<UINT32, const std::string&>& dataSignal() override { return m_data; }
    void setServiceType(int serviceType) override { m_serviceType = serviceType; }

private:
    bool m_ready = false;
    UINT32 m_nextId = 1;
    int m_openCount = 0;
    int m_lastOpenKind = -1;
    int m_serviceType = -1;
    int m_isReadyCalls = 0;
    std::vector<std::pair<UINT32, std::string>> m_sent;
    relay::signal0 m_readySignal;
    relay::signal0 m_serviceClosed;
    relay::signal1<UINT32> m_connectionClosed;
    relay::signal2<UINT32, const std::string&> m_data;
};
