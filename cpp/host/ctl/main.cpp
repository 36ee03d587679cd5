// tovo-hostctl: sends automation commands to a running tovo-host and prints the answers.
//
//   tovo-hostctl [--timeout SECONDS] [--until FIELD] SOCKET COMMAND...
//
// Each COMMAND is one JSON object; its answer is printed as one line. With --until, each command
// is repeated (every 200 ms) until its answer has FIELD true, or until the timeout, which is then
// reported as "timed out after N s". Exit status 0 when every answer was ok (and FIELD true), 1
// otherwise, 2 for bad usage.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QThread>

#include <cstdio>

namespace {

constexpr int kMaxTimeoutSeconds = 2000000;

struct Options
{
    int timeoutMs = 10000;
    QString until;
    QString socket;
    QStringList commands;
};

// Reads the command line into options; false with a one-line reason. --help and --version print
// their text and end the program with status 0.
bool parse(const QStringList& arguments, Options& options, QString& error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Sends automation commands to a running tovo-host and prints each answer as one line. Exit "
        "status 0 when every answer was ok (and had FIELD true), 1 otherwise, 2 for bad usage.\n"
        "Commands (docs/host.md): state, windows, click, hover, text, setText, select, check, grab, "
        "addon, subchannel, activate, webLink, quit; for example {\"cmd\":\"state\"}.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption timeout(
        "timeout", "give up the whole run after SECONDS, 0.001 to 2000000 (default 10)", "SECONDS", "10");
    const QCommandLineOption until("until",
                                   "repeat each command every 200 ms until its answer has FIELD true; "
                                   "when the time is up, print the last answer and \"timed out after N s\"",
                                   "FIELD");
    parser.addOptions({timeout, until});
    parser.addPositionalArgument("SOCKET", "the host's --automation socket");
    parser.addPositionalArgument("COMMAND", "one JSON object each", "COMMAND...");
    // Commands follow the socket; nothing after it is an option.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (!parser.parse(arguments)) {
        // The parser names an unknown option without its dashes.
        const QStringList unknown = parser.unknownOptionNames();
        error = unknown.isEmpty()
                    ? parser.errorText()
                    : QStringLiteral("unknown option '%1%2' (see --help)")
                          .arg(unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--"),
                               unknown.first());
        return false;
    }
    if (parser.isSet("help") || parser.isSet("help-all"))
        parser.showHelp(0);
    if (parser.isSet("version"))
        parser.showVersion();
    bool ok = false;
    const double timeoutSeconds = parser.value(timeout).toDouble(&ok);
    // At least a millisecond, and few enough milliseconds to count in an int.
    if (!ok || !(timeoutSeconds >= 0.001 && timeoutSeconds <= kMaxTimeoutSeconds)) {
        error = QStringLiteral("--timeout wants seconds from 0.001 to %1, not '%2'")
                    .arg(kMaxTimeoutSeconds)
                    .arg(parser.value(timeout));
        return false;
    }
    options.timeoutMs = static_cast<int>(timeoutSeconds * 1000);
    options.until = parser.value(until);
    const QStringList positional = parser.positionalArguments();
    if (positional.size() < 2) {
        error = QStringLiteral("needs SOCKET and at least one COMMAND (see --help)");
        return false;
    }
    // A relative path names a file in the working directory, as tovo-host --automation takes it.
    options.socket = QDir::current().absoluteFilePath(positional.first());
    options.commands = positional.mid(1);
    return true;
}

bool connectWithin(QLocalSocket& socket, const QString& path, const QElapsedTimer& clock, int timeoutMs)
{
    while (clock.elapsed() < timeoutMs) {
        socket.connectToServer(path);
        if (socket.waitForConnected(200))
            return true;
        QThread::msleep(200);
    }
    return false;
}

QJsonObject ask(QLocalSocket& socket, const QString& command, int timeoutMs)
{
    socket.write(command.toUtf8().trimmed() + '\n');
    socket.flush();
    QElapsedTimer clock;
    clock.start();
    while (!socket.canReadLine() && clock.elapsed() < timeoutMs &&
           socket.state() == QLocalSocket::ConnectedState)
        socket.waitForReadyRead(100);
    return socket.canReadLine() ? QJsonDocument::fromJson(socket.readLine()).object() : QJsonObject();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tovo-hostctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORIX_VERSION));
    Options options;
    QString error;
    if (!parse(app.arguments(), options, error)) {
        std::fprintf(stderr, "tovo-hostctl: %s\n", error.toLocal8Bit().constData());
        return 2;
    }
    QElapsedTimer clock;
    clock.start();
    QLocalSocket socket;
    if (!connectWithin(socket, options.socket, clock, options.timeoutMs)) {
        std::fprintf(stderr, "tovo-hostctl: no host at %s\n", options.socket.toLocal8Bit().constData());
        return 1;
    }
    bool allOk = true;
    for (const QString& command : options.commands) {
        QJsonObject answer = ask(socket, command, options.timeoutMs);
        while (!options.until.isEmpty() && !answer.value(options.until).toBool() &&
               clock.elapsed() < options.timeoutMs && socket.state() == QLocalSocket::ConnectedState) {
            QThread::msleep(200);
            answer = ask(socket, command, options.timeoutMs);
        }
        std::printf("%s\n", QJsonDocument(answer).toJson(QJsonDocument::Compact).constData());
        std::fflush(stdout);
        if (answer.isEmpty()) {
            std::fprintf(stderr, "tovo-hostctl: no answer to %s: %s\n", command.toLocal8Bit().constData(),
                         socket.state() == QLocalSocket::ConnectedState ? "the host said nothing in time"
                                                                        : "the host closed the connection");
            allOk = false;
            break;
        }
        const bool untilMet = options.until.isEmpty() || answer.value(options.until).toBool();
        if (!untilMet)
            std::fprintf(stderr, "tovo-hostctl: timed out after %s s\n",
                         QString::number(options.timeoutMs / 1000.0).toLocal8Bit().constData());
        allOk = allOk && answer.value("ok").toBool() && untilMet;
    }
    return allOk ? 0 : 1;
}
