#pragma once

// The add-on's only path to the vote service: frames requests for the host's service
// connection and emits every incoming frame of its connection. Created without a parent and
// deleted by QuorixApp; destruction releases the host references and ends the host signal
// connections, but does not close the connection.

#include "componentroot.h"
#include "itovoserviceconnectionex.h"
#include "trackable.h"

#include <QObject>

#include <string>

class EntServiceInterface : public QObject, public relay::trackable
{
    Q_OBJECT
public:
    static constexpr quint32 kNoConnection = 0xFFFFFFFF;
    static constexpr int kServiceType = 30097;

    EntServiceInterface();
    ~EntServiceInterface() override;

    void init(comptr<IComponentRoot> root);
    // Frames and hands the message to the host. A payload too large to frame is logged and
    // dropped.
    void sendData(quint32 maxType, quint32 minType, const std::string& data);

    quint32 connectionId() const { return connId; }
    // An add-on connection to the vote service is open: requests can be sent.
    bool isConnected() const { return connId != kNoConnection; }

    // Host signal handlers.
    void onServiceReady();
    void onServiceClose();
    void onConnectionClose(quint32 connectionId);
    // A malformed frame is logged and dropped.
    void onDataArrived(quint32 connectionId, const std::string& frame);

signals:
    void serviceReadySignal();
    // The add-on's connection opened (true) or closed (false).
    void connectionStateChanged(bool connected);
    void dataArrivedSignal(quint32 maxType, quint32 minType, const std::string& data);

private:
    comptr<ITovoServiceConnectionEx> servicePtr;
    comptr<IUnk> serviceContext; // always null; the context of createInstance
    quint32 connId = kNoConnection;
};
