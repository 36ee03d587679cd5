#include "host/hostoptions.h"

#include "host/hostlogging.h"
#include "host/windows/webviewerlink.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>

namespace {

// Far more than any token the vote service accepts; a longer first line is cut here.
constexpr qint64 kMaxTokenFileLine = 4096;

QList<QCommandLineOption> optionDefinitions()
{
    return {
        {{"h", "help"}, "show this text"},
        {"version", "print the program's name and version"},
        {"uid", "user id (default 10001)", "N"},
        {"imid", "public user number (default 90001)", "N"},
        {"nick", "nickname (default 频道管理员)", "TEXT"},
        {"role", "channel role: 255, 230, 200, 175, 150 manage; 20 views (default 255)", "N"},
        {"channel", "channel number (default 888)", "N"},
        {"subchannel", "sub-channel number (default 1)", "N"},
        {"service",
         "vote service to connect to (default: embedded in this process); tls://HOST:PORT verifies its "
         "certificate and encrypts, tcp:// or none is plain; a comma-separated list fails over to the next "
         "after a drop",
         "HOST:PORT"},
        {"ca-file", "trust the CA certificates in FILE (PEM) for tls:// services instead of the system's",
         "FILE"},
        {"token",
         "token sent to the vote service with this host's identity (default: $QUORIX_TOKEN); visible to "
         "other users in the process list, unlike --token-file",
         "TEXT"},
        {"token-file", "read the token from the first line of FILE instead", "FILE"},
        {"keywords",
         "keyword filter list, one word a line (default: keywords.txt beside the program, else the installed "
         "list)",
         "FILE"},
        {"addon-dir",
         "folder holding the add-on's libraries (default: the program's folder when it holds them, else the "
         "installed add-on folder)",
         "DIR"},
        {"automation", "listen for JSON automation commands on a local socket at PATH", "PATH"},
        {"offscreen", "run without a display"},
        {"position", "top-left corner of the channel window on the screen (default: the system's choice)",
         "X,Y"},
        {"log-level",
         "highest level of log records written: error, warning, info, debug, trace or a fenbase level "
         "number 0 to 65535 (default: $FENBASE_LOG_LEVEL, else debug = 2); warnings and errors also go to "
         "standard error",
         "LEVEL"},
        {"web-url",
         "the vote service's web face (its --http address), e.g. http://127.0.0.1:8080; enables the "
         "channel window's web viewer link and the webLink automation command",
         "URL"},
        {"log-file", "append log records to FILE; - for standard error (default: $FENBASE_LOG_FILE, else %1)",
         "FILE"},
    };
}

// Far beyond any desktop, small enough that adding a window's size cannot overflow.
constexpr int kMaxCoordinate = 1000000;

// How an option is written on the command line: "--name", or "-n" for a one-letter name.
QString spelled(const QString& name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

} // namespace

HostOptions::Outcome HostOptions::parse(const QStringList& arguments, const QString& environmentToken)
{
    QCommandLineParser parser;
    parser.addOptions(optionDefinitions());
    const bool parsed = parser.parse(QStringList{QStringLiteral("tovo-host")} + arguments);
    // Asking for help or the version is answered even beside a mistake.
    if (parser.isSet(QStringLiteral("help")))
        return Outcome::Help;
    if (parser.isSet(QStringLiteral("version")))
        return Outcome::Version;
    if (!parsed || !parser.positionalArguments().isEmpty()) {
        describeRefusal(parser, arguments);
        return Outcome::Error;
    }
    return readValues(parser, environmentToken) ? Outcome::Run : Outcome::Error;
}

void HostOptions::describeRefusal(const QCommandLineParser& parser, const QStringList& arguments)
{
    if (!parser.positionalArguments().isEmpty() && parser.unknownOptionNames().isEmpty()) {
        m_error =
            QStringLiteral("unknown option '%1' (see --help)").arg(parser.positionalArguments().first());
        return;
    }
    if (parser.unknownOptionNames().isEmpty()) {
        m_error = parser.errorText(); // a value missing, or one given to an option that takes none
        return;
    }
    // The parser names an unknown option without its dashes; quote it as it was given.
    const QString name = parser.unknownOptionNames().first();
    QString given = spelled(name);
    for (const QString& argument : arguments) {
        if (argument.section(QLatin1Char('='), 0, 0) == QStringLiteral("--") + name) {
            given = argument;
            break;
        }
    }
    m_error = QStringLiteral("unknown option '%1' (see --help)").arg(given);
}

bool HostOptions::readValues(const QCommandLineParser& parser, const QString& environmentToken)
{
    offscreen = parser.isSet(QStringLiteral("offscreen"));
    if (parser.isSet(QStringLiteral("service")) && !readService(parser.value(QStringLiteral("service"))))
        return false;
    if (parser.isSet(QStringLiteral("ca-file")) && !readCaFile(parser.value(QStringLiteral("ca-file"))))
        return false;
    if (parser.isSet(QStringLiteral("position")) && !readPosition(parser.value(QStringLiteral("position"))))
        return false;
    if (parser.isSet(QStringLiteral("log-level")) && !readLogLevel(parser.value(QStringLiteral("log-level"))))
        return false;
    if (parser.isSet(QStringLiteral("web-url")) && !readWebUrl(parser.value(QStringLiteral("web-url"))))
        return false;
    return readNumber(parser, QStringLiteral("uid"), identity.uid) &&
           readNumber(parser, QStringLiteral("imid"), identity.imid) &&
           readNumber(parser, QStringLiteral("role"), identity.role) &&
           readNumber(parser, QStringLiteral("channel"), identity.channelId) &&
           readNumber(parser, QStringLiteral("subchannel"), identity.subChannelId) &&
           readText(parser, QStringLiteral("nick"), identity.nick) && readToken(parser, environmentToken) &&
           readText(parser, QStringLiteral("keywords"), keywordsFile) &&
           readText(parser, QStringLiteral("addon-dir"), addonDir) &&
           readText(parser, QStringLiteral("automation"), automationPath) &&
           readText(parser, QStringLiteral("log-file"), logFile);
}

// An option not given keeps out as it is.
bool HostOptions::readNumber(const QCommandLineParser& parser, const QString& name, quint32& out)
{
    if (!parser.isSet(name))
        return true;
    const QString value = parser.value(name);
    bool ok = false;
    const qulonglong number = value.toULongLong(&ok, 10);
    if (!ok || number == 0 || number > 0xFFFFFFFFull || value.startsWith('+')) {
        m_error =
            QStringLiteral("option --%1 needs a number from 1 to 4294967295, not '%2'").arg(name, value);
        return false;
    }
    out = static_cast<quint32>(number);
    return true;
}

bool HostOptions::readText(const QCommandLineParser& parser, const QString& name, QString& out)
{
    if (!parser.isSet(name))
        return true;
    const QString value = parser.value(name);
    if (value.isEmpty()) {
        m_error = QStringLiteral("option --%1 needs a non-empty value").arg(name);
        return false;
    }
    out = value;
    return true;
}

bool HostOptions::readToken(const QCommandLineParser& parser, const QString& environmentToken)
{
    const bool inlineToken = parser.isSet(QStringLiteral("token"));
    const bool tokenFile = parser.isSet(QStringLiteral("token-file"));
    if (inlineToken && tokenFile) {
        m_error = QStringLiteral("options --token and --token-file exclude each other");
        return false;
    }
    QString path;
    if (tokenFile)
        return readText(parser, QStringLiteral("token-file"), path) && readTokenFile(path);
    if (inlineToken)
        return readText(parser, QStringLiteral("token"), token);
    token = environmentToken;
    return true;
}

// The token is the file's first line without its line break.
bool HostOptions::readTokenFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("option --token-file cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QByteArray line = file.readLine(kMaxTokenFileLine);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty()) {
        m_error = QStringLiteral("option --token-file %1 holds no token on its first line").arg(path);
        return false;
    }
    token = QString::fromUtf8(line);
    return true;
}

bool HostOptions::readService(const QString& value)
{
    ServiceAddresses addresses;
    for (QString item : value.split(QLatin1Char(','))) {
        const bool tls = item.startsWith(QLatin1String("tls://"));
        if (tls || item.startsWith(QLatin1String("tcp://")))
            item.remove(0, 6);
        const int colon = item.lastIndexOf(':');
        bool ok = false;
        const uint port = colon > 0 ? item.mid(colon + 1).toUInt(&ok, 10) : 0;
        if (!ok || port == 0 || port > 65535 || item.contains(QLatin1String("://"))) {
            m_error =
                QStringLiteral("option --service needs [tls://]HOST:PORT[,[tls://]HOST:PORT...], not '%1'")
                    .arg(value);
            return false;
        }
        addresses.append(ServiceAddress{item.left(colon), static_cast<quint16>(port), tls});
    }
    serviceAddresses = addresses;
    serviceHost = addresses.first().host;
    servicePort = addresses.first().port;
    return true;
}

bool HostOptions::readCaFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("option --ca-file cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    caCertificates = QSslCertificate::fromDevice(&file, QSsl::Pem);
    if (caCertificates.isEmpty()) {
        m_error = QStringLiteral("option --ca-file %1 holds no PEM certificate").arg(path);
        return false;
    }
    return true;
}

// Coordinates may be negative: a screen left of or above the primary one has them.
bool HostOptions::readPosition(const QString& value)
{
    const QStringList parts = value.split(QLatin1Char(','));
    bool xOk = false;
    bool yOk = false;
    const int x = parts.value(0).toInt(&xOk, 10);
    const int y = parts.value(1).toInt(&yOk, 10);
    if (parts.size() != 2 || !xOk || !yOk || qAbs(x) > kMaxCoordinate || qAbs(y) > kMaxCoordinate) {
        m_error =
            QStringLiteral("option --position needs X,Y (whole numbers of pixels), not '%1'").arg(value);
        return false;
    }
    position = QPoint(x, y);
    return true;
}

bool HostOptions::readLogLevel(const QString& value)
{
    logLevel = HostLogging::parseLevel(value);
    if (!logLevel)
        m_error = QStringLiteral("option --log-level needs %1 from 0 to %2, not '%3'")
                      .arg(HostLogging::levelNames())
                      .arg(HostLogging::kMaxLevel)
                      .arg(value);
    return logLevel.has_value();
}

bool HostOptions::readWebUrl(const QString& value)
{
    webUrl = WebViewerLink::parseBase(value, &m_error);
    return webUrl.isValid();
}

// QCommandLineParser's own help text needs a running application, which tovo-host creates only
// after its options are read; this one is made from the same definitions.
QString HostOptions::usage(const QString& defaultLogFile)
{
    QString text = QStringLiteral("usage: tovo-host [options]\n"
                                  "The desktop host that runs the voting add-on.\n\n"
                                  "options:\n");
    for (const QCommandLineOption& option : optionDefinitions()) {
        QStringList names;
        for (const QString& name : option.names())
            names << spelled(name);
        const QString value = option.valueName().isEmpty() ? QString() : ' ' + option.valueName();
        const QString left = names.join(QStringLiteral(", ")) + value;
        QString description = option.description();
        if (option.names().first() == QLatin1String("log-file"))
            description = description.arg(defaultLogFile);
        text += QStringLiteral("  %1 %2\n").arg(left, -20).arg(description);
    }
    text += QStringLiteral("\nenvironment:\n"
                           "  QUORIX_TOKEN         the token when neither --token nor --token-file is given\n"
                           "  FENBASE_LOG_LEVEL    the log level when --log-level is not given\n"
                           "  FENBASE_LOG_FILE     the log file when --log-file is not given\n");
    return text;
}
