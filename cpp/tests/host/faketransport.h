#pragma once

// A service transport the test drives by hand: it records what the host sends and reports
// ready, closed and incoming frames when told to.

#include "host/transports/servicetransport.h"

#include <string>
#include <vector>

class FakeTransport : public ServiceTransport
{
public:
    void start() override { started = true; }
    bool isReady() const override { return readyNow; }
    void sendFrame(const std::string& frame) override { sent.push_back(frame); }
    void moveToSubChannel(quint32 subChannelId) override { moves.push_back(subChannelId); }
    void updateIdentity(const HostIdentity& identity) override { roles.push_back(identity.role); }
    QString describe() const override { return QStringLiteral("fake"); }
    void requestWebToken() override { ++webTokenRequests; }

    void becomeReady()
    {
        readyNow = true;
        emit ready();
    }
    void drop()
    {
        readyNow = false;
        emit closed();
    }
    void deliver(const std::string& frame) { emit frameArrived(frame); }

    bool started = false;
    bool readyNow = false;
    std::vector<std::string> sent;
    std::vector<quint32> moves;
    std::vector<quint32> roles;
    int webTokenRequests = 0;
};
