#pragma once

// Command-line options of tovo-host, read with QCommandLineParser. parse() never exits: the caller
// prints the error (one line) and leaves with status 2, or prints usage() for --help.

#include "host/transports/hostidentity.h"
#include "host/transports/serviceaddress.h"

#include <QList>
#include <QPoint>
#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

class QCommandLineParser;

class HostOptions
{
public:
    enum class Outcome
    {
        Run,
        Help,
        Version,
        Error
    };

    HostIdentity identity;
    QString serviceHost; // empty: the vote service runs embedded in this process
    quint16 servicePort = 0;
    // Every address given to --service (comma-separated), the first one also in serviceHost/Port.
    ServiceAddresses serviceAddresses;
    QString token;
    // The CAs a tls:// service's certificate must chain to; empty: the system's CA store.
    QList<QSslCertificate> caCertificates;
    QString keywordsFile; // empty: the list beside the program
    QString addonDir;     // empty: the program's own directory
    QString automationPath;
    bool offscreen = false;
    std::optional<QPoint> position; // top-left corner of the channel window; empty: the system's choice
    std::optional<int> logLevel;    // empty: FENBASE_LOG_LEVEL or the default (HostLogging)
    QString logFile;                // empty: FENBASE_LOG_FILE or the default
    QUrl webUrl;                    // the vote service's HTTP face; empty: no web viewer link

    // `arguments` excludes the program name. `environmentToken` (QUORIX_TOKEN) is the token when
    // neither --token nor --token-file is given.
    Outcome parse(const QStringList& arguments, const QString& environmentToken = QString());
    QString error() const { return m_error; }
    bool embeddedService() const { return serviceHost.isEmpty(); }

    // The option list and the environment variables read; `defaultLogFile` is named in it.
    static QString usage(const QString& defaultLogFile);

private:
    bool readValues(const QCommandLineParser& parser, const QString& environmentToken);
    bool readToken(const QCommandLineParser& parser, const QString& environmentToken);
    bool readTokenFile(const QString& path);
    bool readNumber(const QCommandLineParser& parser, const QString& name, quint32& out);
    bool readText(const QCommandLineParser& parser, const QString& name, QString& out);
    bool readService(const QString& value);
    bool readCaFile(const QString& path);
    bool readPosition(const QString& value);
    bool readLogLevel(const QString& value);
    bool readWebUrl(const QString& value);
    void describeRefusal(const QCommandLineParser& parser, const QStringList& arguments);

    QString m_error;
};
