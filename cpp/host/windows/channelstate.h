#pragma once

// The live identity and place of the local user. The host's channel services read it and the
// channel window changes it; every change is announced once, after the value changed.

#include "host/transports/hostidentity.h"

#include <QObject>

class ChannelState : public QObject
{
    Q_OBJECT
public:
    explicit ChannelState(const HostIdentity& identity, QObject* parent = nullptr);

    const HostIdentity& identity() const { return m_identity; }

    void setRole(quint32 role);
    void setSubChannelId(quint32 subChannelId);

    static bool isManagerRole(quint32 role);

signals:
    void roleChanged(quint32 role);
    void subChannelChanged(quint32 subChannelId);

private:
    HostIdentity m_identity;
};
