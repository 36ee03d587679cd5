#pragma once

// The automation socket: a local socket readable by its owner only, one JSON command per line in,
// one JSON answer per line out. A line longer than kMaxLineBytes is answered with an error and
// the client is disconnected; a client that leaves more than kMaxUnreadAnswerBytes of answers
// unread is dropped. So no client can make the host hold more than that per connection.

#include <QObject>

class AutomationCommands;
class QLocalServer;
class QLocalSocket;

class AutomationServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxLineBytes = 64 * 1024;
    static constexpr qint64 kMaxUnreadAnswerBytes = 4 * 1024 * 1024;

    AutomationServer(AutomationCommands* commands, QObject* parent = nullptr);
    ~AutomationServer() override;

    // Listens at `path` (relative to the working directory), replacing only an old socket that
    // nothing listens on; false with errorString() set when the path is taken or listening fails.
    bool listen(const QString& path);
    QString errorString() const;
    QString path() const;

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);
    void answer(QLocalSocket* socket, const QByteArray& line);
    void dropUnreadClient(QLocalSocket* socket);

    AutomationCommands* m_commands;
    QLocalServer* m_server;
    QString m_error;
};
