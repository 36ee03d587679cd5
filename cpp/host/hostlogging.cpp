#include "host/hostlogging.h"

#include "fenlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

namespace {

const struct
{
    const char* name;
    int level;
} kLevelNames[] = {{"error", 0}, {"warning", 0}, {"info", 1}, {"debug", 2}, {"trace", 3}};

unsigned short levelOf(QtMsgType type)
{
    switch (type) {
    case QtFatalMsg:
    case QtCriticalMsg:
        return 0;
    case QtWarningMsg:
        return 1;
    case QtInfoMsg:
        return 2;
    case QtDebugMsg:
        break;
    }
    return 3;
}

void logQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const unsigned short level = levelOf(type);
    if (!IsLogLevelEnabled(level))
        return;
    DoLog(level, "Qt", context.file, static_cast<unsigned short>(context.line), context.function,
          message.toStdWString().c_str());
}

QString osError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

std::optional<int> HostLogging::parseLevel(const QString& text)
{
    for (const auto& named : kLevelNames) {
        if (text.compare(QLatin1String(named.name), Qt::CaseInsensitive) == 0)
            return named.level;
    }
    bool ok = false;
    const int level = text.toInt(&ok, 10);
    if (!ok || level < 0 || level > kMaxLevel || text.startsWith(QLatin1Char('+')))
        return std::nullopt;
    return level;
}

QString HostLogging::levelNames()
{
    return QStringLiteral("error, warning (0), info (1), debug (2), trace (3) or a number");
}

QString HostLogging::defaultFile(const QProcessEnvironment& environment)
{
    QString stateHome = environment.value(QStringLiteral("XDG_STATE_HOME"));
    // A relative XDG_STATE_HOME is not valid and is ignored, as other programs ignore it.
    if (stateHome.isEmpty() || QDir::isRelativePath(stateHome)) {
        QString home = environment.value(QStringLiteral("HOME"));
        if (home.isEmpty())
            home = QDir::homePath();
        stateHome = QDir(home).filePath(QStringLiteral(".local/state"));
    }
    return QDir(stateHome).filePath(QStringLiteral("quorix/tovo-host.log"));
}

HostLogging::Settings HostLogging::resolve(const std::optional<int>& optionLevel, const QString& optionFile,
                                           const QProcessEnvironment& environment)
{
    Settings settings;
    if (optionLevel)
        settings.level = *optionLevel;
    else if (auto level = parseLevel(environment.value(QStringLiteral("FENBASE_LOG_LEVEL"))))
        settings.level = *level;
    QString file = optionFile;
    if (file.isEmpty())
        file = environment.value(QStringLiteral("FENBASE_LOG_FILE"));
    if (file.isEmpty()) {
        file = defaultFile(environment);
        settings.defaultFile = true;
    }
    if (file == QLatin1String(kStderrName)) {
        settings.stderrLevel = settings.level;
        return settings;
    }
    settings.file = file;
    settings.stderrLevel = qMin(settings.level, int(kStderrLevel));
    return settings;
}

bool HostLogging::apply(const Settings& settings, QString* error)
{
    fenbase::LogSinks sinks;
    sinks.fileLevel = static_cast<unsigned short>(settings.level);
    sinks.stderrLevel = settings.stderrLevel;
    bool usable = true;
    if (!settings.file.isEmpty()) {
        if (settings.defaultFile)
            usable = makePrivateFolder(QFileInfo(settings.file).path(), error);
        if (usable && settings.defaultFile)
            setAsideWhenLarge(settings.file);
        usable = usable && canAppend(settings.file, error);
        if (usable)
            sinks.file = QFile::encodeName(settings.file).toStdString();
        else
            sinks.stderrLevel = settings.level;
    }
    fenbase::setLogSinks(sinks);
    return usable;
}

void HostLogging::routeQtMessages()
{
    qInstallMessageHandler(logQtMessage);
}

// Creates the missing folders of `path` readable by the owner only, and makes `path` itself so.
bool HostLogging::makePrivateFolder(const QString& path, QString* error)
{
    const QString absolute = QDir::cleanPath(QDir(path).absolutePath());
    QString made;
    for (const QString& part : absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        made += QLatin1Char('/') + part;
        const QByteArray name = QFile::encodeName(made);
        if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
            if (error)
                *error = QStringLiteral("cannot make the log folder %1: %2").arg(made, osError());
            return false;
        }
    }
    if (::chmod(QFile::encodeName(absolute).constData(), 0700) != 0) {
        if (error)
            *error = QStringLiteral("cannot make the log folder %1 private: %2").arg(absolute, osError());
        return false;
    }
    return true;
}

void HostLogging::setAsideWhenLarge(const QString& path)
{
    const QFileInfo file(path);
    if (!file.isFile() || file.size() <= kRotateBytes)
        return;
    const QString old = path + QStringLiteral(".old");
    QFile::remove(old);
    QFile::rename(path, old);
}

bool HostLogging::canAppend(const QString& path, QString* error)
{
    QFile file(path);
    if (file.open(QIODevice::Append))
        return true;
    if (error)
        *error = QStringLiteral("cannot write the log file %1: %2").arg(path, file.errorString());
    return false;
}
