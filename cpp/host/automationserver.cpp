#include "automationserver.h"

#include "automationcommands.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

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
    QLocalServer::removeServer(path);
    return m_server->listen(path);
}

QString AutomationServer::errorString() const
{
    return m_server->errorString();
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
    if (tooLong)
        socket->disconnectFromServer();
}
