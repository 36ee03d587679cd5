// tovo-hostctl: sends automation commands to a running tovo-host and prints the answers.
//
//   tovo-hostctl [--timeout SECONDS] [--until FIELD] SOCKET COMMAND...
//
// Each COMMAND is one JSON object; its answer is printed as one line. With --until, each command
// is repeated (every 200 ms) until its answer has FIELD true. Exit status 0 when every answer
// was ok (and FIELD true), 1 otherwise, 2 for bad usage.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QThread>

#include <cstdio>

namespace {

struct Options
{
    int timeoutMs = 10000;
    QString until;
    QString socket;
    QStringList commands;
};

bool parse(const QStringList& args, Options& options)
{
    int i = 0;
    for (; i < args.size() && args.at(i).startsWith("--"); i += 2) {
        if (i + 1 >= args.size())
            return false;
        if (args.at(i) == "--timeout")
            options.timeoutMs = static_cast<int>(args.at(i + 1).toDouble() * 1000);
        else if (args.at(i) == "--until")
            options.until = args.at(i + 1);
        else
            return false;
    }
    if (i + 1 >= args.size() || options.timeoutMs <= 0)
        return false;
    // A relative path names a file in the working directory, as tovo-host --automation takes it.
    options.socket = QDir::current().absoluteFilePath(args.at(i));
    options.commands = args.mid(i + 1);
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
    Options options;
    if (!parse(app.arguments().mid(1), options)) {
        std::fputs("usage: tovo-hostctl [--timeout SECONDS] [--until FIELD] SOCKET COMMAND...\n", stderr);
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
               clock.elapsed() < options.timeoutMs) {
            QThread::msleep(200);
            answer = ask(socket, command, options.timeoutMs);
        }
        std::printf("%s\n", QJsonDocument(answer).toJson(QJsonDocument::Compact).constData());
        const bool ok =
            answer.value("ok").toBool() && (options.until.isEmpty() || answer.value(options.until).toBool());
        allOk = allOk && ok;
    }
    return allOk ? 0 : 1;
}
