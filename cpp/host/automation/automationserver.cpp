#include "host/automation/automationserver.h"

#include "host/automation/automationcommands.h"
#include "host/automation/automationsocketfile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

#include <cstdio>
#include <unistd.h>

AutomationServer::AutomationServer(AutomationCommands* commands, QObject* parent)
    : QObject(parent), m_commands(commands), m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &AutomationServer::onNewConnection);
}

AutomationServer::~AutomationServer()
{
    m_server->close();
}

bool AutomationServer::listen(const QString& path)
{
    const QString absolute = AutomationSocketFile::absolutePath(path);
    const int fd = AutomationSocketFile::listen(absolute, &m_error);
    if (fd < 0)
        return false;
    if (m_server->listen(fd))
        return true;
    m_error = QStringLiteral("cannot listen on %1: %2").arg(absolute, m_server->errorString());
    ::close(fd);
    ::unlink(QFile::encodeName(absolute).constData());
    return false;
}

QString AutomationServer::errorString() const
{
    return m_error;
}

QString AutomationServer::path() const
{
    return m_server->fullServerName();
}

void AutomationServer::onNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        socket->setReadBufferSize(kMaxLineBytes + 1);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void AutomationServer::onReadyRead(QLocalSocket* socket)
{
    const QPointer<QLocalSocket> guard = socket;
    while (guard && socket->state() == QLocalSocket::ConnectedState) {
        if (socket->canReadLine()) {
            QByteArray line = socket->readLine(kMaxLineBytes + 2);
            if (!line.endsWith('\n')) {
                answer(socket, QByteArray());
                return;
            }
            line.chop(1);
            if (!line.trimmed().isEmpty())
                answer(socket, line);
            continue;
        }
        if (socket->bytesAvailable() > kMaxLineBytes)
            answer(socket, QByteArray());
        return;
    }
}

// An empty line stands for one that was too long: the client is told and then dropped.
void AutomationServer::answer(QLocalSocket* socket, const QByteArray& line)
{
    const bool tooLong = line.isEmpty();
    const QJsonObject reply =
        tooLong ? QJsonObject{{"ok", false},
                              {"error", QStringLiteral("line longer than %1 bytes").arg(kMaxLineBytes)}}
                : m_commands->executeLine(line);
    const QPointer<QLocalSocket> guard = socket;
    if (!guard)
        return;
    socket->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
    socket->flush();
    if (socket->bytesToWrite() > kMaxUnreadAnswerBytes)
        dropUnreadClient(socket);
    else if (tooLong)
        socket->disconnectFromServer();
}

// abort() throws the unsent answers away at once; disconnecting would wait for them to be read.
void AutomationServer::dropUnreadClient(QLocalSocket* socket)
{
    std::fprintf(stderr,
                 "tovo-host: automation client dropped: it left more than %lld bytes of answers unread\n",
                 static_cast<long long>(kMaxUnreadAnswerBytes));
    socket->abort();
}
