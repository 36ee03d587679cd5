#pragma once

// One service connection object ("com.tovo.serviceconnection"), created per caller and deleted
// on its last release. It rides on the host's single service transport: openConnection gives an
// id while the transport is ready, frames sent on an open id go to the vote service, and every
// frame from the service is handed to each open id. When the transport drops, the object reports
// the service closed and each open id closed; when it is back, it reports ready again.

#include "host/transports/servicetransport.h"

#include "itovoserviceconnectionex.h"

#include <QObject>
#include <QPointer>

#include <set>

class HostServiceConnection : public QObject, public ITovoServiceConnectionEx
{
    Q_OBJECT
public:
    // The only service type this host serves: the vote service.
    static constexpr int kVoteServiceType = 30097;

    explicit HostServiceConnection(ServiceTransport* transport);
    ~HostServiceConnection() override;

    bool hasOpenConnection() const { return !m_open.empty(); }
    quint64 framesSent() const { return m_framesSent; }
    quint64 framesDropped() const { return m_framesDropped; }
    // Frames whose receiver threw instead of handling them.
    quint64 receiverFailures() const { return m_receiverFailures; }

    unsigned long addRef() override;
    unsigned long release() override;
    bool queryInterface(const InterfaceId& iid, void** out) override;
    long reservedOperation() override { return 0; }

    void send(UINT32 connectionId, const std::string& frame) override;
    UINT32 openConnection(int kind) override;
    bool isReady() override;
    relay::signal0& readySignal() override { return m_ready; }
    relay::signal0& serviceClosedSignal() override { return m_serviceClosed; }
    relay::signal1<UINT32>& connectionClosedSignal() override { return m_connectionClosed; }
    relay::signal2<UINT32, const std::string&>& dataSignal() override { return m_data; }
    void setServiceType(int serviceType) override { m_serviceType = serviceType; }

signals:
    void connectionOpened(quint32 connectionId);

private:
    void onTransportReady();
    void onTransportClosed();
    void onFrame(const std::string& frame);

    QPointer<ServiceTransport> m_transport;
    int m_serviceType = 0;
    std::set<UINT32> m_open;
    relay::signal0 m_ready;
    relay::signal0 m_serviceClosed;
    relay::signal1<UINT32> m_connectionClosed;
    relay::signal2<UINT32, const std::string&> m_data;
    unsigned long m_refs = 0;
    quint64 m_framesSent = 0;
    quint64 m_framesDropped = 0;
    quint64 m_receiverFailures = 0;
};
