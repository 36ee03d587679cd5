#pragma once

// Command-line options of tovo-host. parse() never exits: the caller prints the error (one line)
// and leaves with status 2, or prints usage() for --help.

#include "hostidentity.h"
#include "serviceaddress.h"

#include <QString>
#include <QStringList>

class HostOptions
{
public:
    enum class Outcome
    {
        Run,
        Help,
        Error
    };

    HostIdentity identity;
    QString serviceHost; // empty: the vote service runs embedded in this process
    quint16 servicePort = 0;
    // Every address given to --service (comma-separated), the first one also in serviceHost/Port.
    ServiceAddresses serviceAddresses;
    QString token;
    QString keywordsFile; // empty: the list beside the program
    QString addonDir;     // empty: the program's own directory
    QString automationPath;
    bool offscreen = false;

    // `arguments` excludes the program name.
    Outcome parse(const QStringList& arguments);
    QString error() const { return m_error; }
    bool embeddedService() const { return serviceHost.isEmpty(); }

    static QString usage();

private:
    bool apply(const QString& name, const QString& value);
    bool readNumber(const QString& name, const QString& value, quint32& out);
    bool readService(const QString& value);

    QString m_error;
};
