#pragma once

#include <QString>
#include <QVector>

// One address of a standalone vote service; a host may be given several to fail over between.
struct ServiceAddress
{
    QString host;
    quint16 port = 0;
    bool tls = false; // tls://HOST:PORT: the service's certificate is verified against host
};

using ServiceAddresses = QVector<ServiceAddress>;
