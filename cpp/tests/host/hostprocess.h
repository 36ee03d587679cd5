#pragma once

// Runs tovo-host (and, when asked, quorix-voted) as child processes and talks to the host
// through its automation socket, as end-to-end tests and scripts do.

#include "tests/host/hosttestsupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <memory>

class HostProcess
{
public:
    explicit HostProcess(const QStringList& extraArguments)
    {
        m_socketPath = m_dir.filePath("automation.sock");
        m_logPath = m_dir.filePath("host.log");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("FENBASE_LOG_FILE", m_logPath);
        env.insert("FENBASE_LOG_LEVEL", "2");
        env.insert("LSAN_OPTIONS", QStringLiteral("suppressions=%1").arg(LSAN_QT_SUPPRESSIONS));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(TOVO_HOST_PATH,
                        QStringList{"--offscreen", "--automation", m_socketPath} + extraArguments);
    }
    ~HostProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    QString directory() const { return m_dir.path(); }
    QString log() const
    {
        QFile file(m_logPath);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    bool connectSocket(int timeoutMs = 10000)
    {
        return waitUntil(
            [this] {
                if (m_socket.state() == QLocalSocket::ConnectedState)
                    return true;
                m_socket.connectToServer(m_socketPath);
                return m_socket.waitForConnected(100);
            },
            timeoutMs);
    }

    QJsonObject command(const QJsonObject& request)
    {
        return raw(QJsonDocument(request).toJson(QJsonDocument::Compact));
    }

    // Sends one line as it is and reads one answer line; an empty object when none came.
    QJsonObject raw(const QByteArray& line)
    {
        m_socket.write(line + '\n');
        m_socket.flush();
        const auto answered = [this] {
            if (!m_socket.canReadLine())
                m_socket.waitForReadyRead(50);
            return m_socket.canReadLine();
        };
        if (!waitUntil(answered, 15000))
            return {};
        return QJsonDocument::fromJson(m_socket.readLine()).object();
    }

    // Polls `state` until `done` holds for its answer.
    bool waitState(const std::function<bool(const QJsonObject&)>& done, int timeoutMs)
    {
        return waitUntil([&] { return done(command({{"cmd", "state"}})); }, timeoutMs);
    }

    bool hasWindow(const QString& title, bool mustBeVisible = true)
    {
        for (const QJsonValue& window : command({{"cmd", "windows"}}).value("windows").toArray()) {
            const QJsonObject w = window.toObject();
            if (w.value("title").toString() == title && (!mustBeVisible || w.value("visible").toBool()))
                return true;
        }
        return false;
    }

    bool finishes(int timeoutMs)
    {
        return m_process.waitForFinished(timeoutMs) && m_process.exitStatus() == QProcess::NormalExit;
    }
    int exitCode() const { return m_process.exitCode(); }
    // Sends SIGTERM, as a session manager does.
    void terminate() { m_process.terminate(); }

private:
    QTemporaryDir m_dir;
    QString m_socketPath;
    QString m_logPath;
    QProcess m_process;
    QLocalSocket m_socket;
};

// quorix-voted on a loopback port picked for it.
class ServiceProcess
{
public:
    ServiceProcess()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
    }
    ~ServiceProcess() { stop(); }

    quint16 port() const { return m_port; }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

    bool start(const QStringList& extraArguments = {})
    {
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_process->start(QUORIX_VOTED_PATH, QStringList{"--listen", address(), "--memory"} + extraArguments);
        if (!m_process->waitForStarted(5000))
            return false;
        return waitUntil([this] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, m_port);
            return probe.waitForConnected(100);
        });
    }
    void stop()
    {
        if (m_process && m_process->state() != QProcess::NotRunning) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }

private:
    quint16 m_port = 0;
    std::unique_ptr<QProcess> m_process;
};
