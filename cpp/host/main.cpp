// tovo-host: the desktop host that runs the voting add-on. See docs/host.md.

#include "host/hostapplication.h"
#include "host/windows/hostfonts.h"
#include "host/hostinstalllayout.h"
#include "host/hostlogging.h"
#include "host/hostoptions.h"
#include "host/services/keywordfilter.h"
#include "host/terminationsignals.h"

#include <QApplication>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <cstdio>

namespace {

int optionError(const QString& text)
{
    std::fprintf(stderr, "tovo-host: %s\n", text.toLocal8Bit().constData());
    return 2;
}

// Qt's default platform draws on an X or Wayland display; without one it aborts with a message that
// suggests reinstalling. Another platform chosen through QT_QPA_PLATFORM is left to Qt.
bool lacksDisplay(bool offscreen, const QProcessEnvironment& environment)
{
    if (offscreen)
        return false;
    const QString platform = environment.value(QStringLiteral("QT_QPA_PLATFORM"));
    const bool x = !environment.value(QStringLiteral("DISPLAY")).isEmpty();
    const bool wayland = !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
    if (platform.isEmpty())
        return !x && !wayland;
    return platform.startsWith(QLatin1String("xcb")) && !x;
}

} // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    HostOptions options;
    switch (options.parse(arguments, qEnvironmentVariable("QUORIX_TOKEN"))) {
    case HostOptions::Outcome::Help:
        std::fputs(HostOptions::usage(HostLogging::defaultFile(environment)).toLocal8Bit().constData(),
                   stdout);
        return 0;
    case HostOptions::Outcome::Version:
        std::puts("tovo-host " QUORIX_VERSION);
        return 0;
    case HostOptions::Outcome::Error:
        return optionError(options.error());
    case HostOptions::Outcome::Run:
        break;
    }
    if (lacksDisplay(options.offscreen, environment)) {
        std::fputs("tovo-host: no display to show the channel window on; start it with --offscreen to run "
                   "without one\n",
                   stderr);
        return 1;
    }
    QString logError;
    if (!HostLogging::apply(HostLogging::resolve(options.logLevel, options.logFile, environment), &logError))
        std::fprintf(stderr, "tovo-host: %s; log records go to standard error\n",
                     logError.toLocal8Bit().constData());
    HostLogging::routeQtMessages();
    if (options.offscreen)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tovo-host"));
    QApplication::setQuitOnLastWindowClosed(false);
    HostFonts::install();

    const HostInstallLayout layout(QCoreApplication::applicationDirPath());
    if (options.addonDir.isEmpty())
        options.addonDir = layout.addonDir();
    if (!QFileInfo(options.addonDir).isDir())
        return optionError(QStringLiteral("--addon-dir %1 is not a folder").arg(options.addonDir));
    KeywordFilter filter;
    const bool explicitKeywords = !options.keywordsFile.isEmpty();
    const QString keywords = explicitKeywords ? options.keywordsFile : layout.keywordsFile();
    if (!filter.load(keywords) && explicitKeywords)
        return optionError(QStringLiteral("--keywords %1 cannot be read").arg(keywords));

    HostApplication host(options, filter);
    QObject::connect(&host, &HostApplication::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &host, [&host](int signalNumber) {
        std::fprintf(stderr, "tovo-host: signal %d: unloading the add-on and stopping\n", signalNumber);
        host.shutdown();
    });
    QString error;
    if (!host.start(&error)) {
        std::fprintf(stderr, "tovo-host: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    const int status = app.exec();
    return status != 0 ? status : host.exitStatus();
}
