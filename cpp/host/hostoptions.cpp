#include "hostoptions.h"

#include <QSet>

namespace {

const QSet<QString> kValueOptions = {"--uid",      "--imid",       "--nick",      "--role",
                                     "--channel",  "--subchannel", "--service",   "--token",
                                     "--keywords", "--addon-dir",  "--automation"};

} // namespace

HostOptions::Outcome HostOptions::parse(const QStringList& arguments)
{
    for (int i = 0; i < arguments.size(); ++i) {
        QString name = arguments.at(i);
        QString value;
        const int eq = name.indexOf('=');
        const bool inlineValue = name.startsWith("--") && eq > 0;
        if (inlineValue) {
            value = name.mid(eq + 1);
            name = name.left(eq);
        }
        if (name == "--help" || name == "-h")
            return Outcome::Help;
        if (name == "--offscreen" && !inlineValue) {
            offscreen = true;
            continue;
        }
        if (!kValueOptions.contains(name)) {
            m_error = QStringLiteral("unknown option '%1' (see --help)").arg(arguments.at(i));
            return Outcome::Error;
        }
        if (!inlineValue) {
            if (i + 1 >= arguments.size()) {
                m_error = QStringLiteral("option %1 needs a value").arg(name);
                return Outcome::Error;
            }
            value = arguments.at(++i);
        }
        if (!apply(name, value))
            return Outcome::Error;
    }
    return Outcome::Run;
}

bool HostOptions::apply(const QString& name, const QString& value)
{
    if (name == "--uid")
        return readNumber(name, value, identity.uid);
    if (name == "--imid")
        return readNumber(name, value, identity.imid);
    if (name == "--role")
        return readNumber(name, value, identity.role);
    if (name == "--channel")
        return readNumber(name, value, identity.channelId);
    if (name == "--subchannel")
        return readNumber(name, value, identity.subChannelId);
    if (name == "--service")
        return readService(value);
    if (value.isEmpty()) {
        m_error = QStringLiteral("option %1 needs a non-empty value").arg(name);
        return false;
    }
    if (name == "--nick")
        identity.nick = value;
    else if (name == "--token")
        token = value;
    else if (name == "--keywords")
        keywordsFile = value;
    else if (name == "--addon-dir")
        addonDir = value;
    else
        automationPath = value;
    return true;
}

bool HostOptions::readNumber(const QString& name, const QString& value, quint32& out)
{
    bool ok = false;
    const qulonglong number = value.toULongLong(&ok, 10);
    if (!ok || number == 0 || number > 0xFFFFFFFFull || value.startsWith('+')) {
        m_error = QStringLiteral("option %1 needs a number from 1 to 4294967295, not '%2'").arg(name, value);
        return false;
    }
    out = static_cast<quint32>(number);
    return true;
}

bool HostOptions::readService(const QString& value)
{
    ServiceAddresses addresses;
    for (const QString& item : value.split(QLatin1Char(','))) {
        const int colon = item.lastIndexOf(':');
        bool ok = false;
        const uint port = colon > 0 ? item.mid(colon + 1).toUInt(&ok, 10) : 0;
        if (!ok || port == 0 || port > 65535) {
            m_error = QStringLiteral("option --service needs HOST:PORT[,HOST:PORT...], not '%1'").arg(value);
            return false;
        }
        addresses.append(ServiceAddress{item.left(colon), static_cast<quint16>(port)});
    }
    serviceAddresses = addresses;
    serviceHost = addresses.first().host;
    servicePort = addresses.first().port;
    return true;
}

QString HostOptions::usage()
{
    return QStringLiteral(
        "usage: tovo-host [options]\n"
        "  --uid N             user id (default 10001)\n"
        "  --imid N            public user number (default 90001)\n"
        "  --nick TEXT         nickname (default 频道管理员)\n"
        "  --role N            channel role: 255, 230, 200, 175, 150 manage; 20 views (default 255)\n"
        "  --channel N         channel number (default 888)\n"
        "  --subchannel N      sub-channel number (default 1)\n"
        "  --service HOST:PORT vote service to connect to (default: embedded in this process);\n"
        "                      a comma-separated list fails over to the next after a drop\n"
        "  --token TEXT        token sent to the vote service with this host's identity\n"
        "  --keywords FILE     keyword filter list, one word a line (default: keywords.txt beside the "
        "program)\n"
        "  --addon-dir DIR     folder holding the add-on's libraries (default: the program's folder)\n"
        "  --automation PATH   listen for JSON automation commands on a local socket at PATH\n"
        "  --offscreen         run without a display\n");
}
