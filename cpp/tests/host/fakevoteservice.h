#pragma once

#include "tests/host/hosttestsupport.h"
#include <quorix/protocol/hostcontrol.h>
#include <quorix/protocol/serviceframe.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// A vote service stand-in on loopback: records the frames a host sends and answers what the
// test tells it to.
class FakeVoteService
{
public:
    FakeVoteService()
    {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost, m_port));
        m_port = m_server.serverPort();
    }

    quint16 port() const { return m_port; }
    void stop() { m_server.close(); }
    bool restart() { return m_server.listen(QHostAddress::LocalHost, m_port); }

    bool accept(int timeoutMs = 5000)
    {
        if (!waitUntil([this] { return m_server.hasPendingConnections(); }, timeoutMs))
            return false;
        m_client.reset(m_server.nextPendingConnection());
        m_frames.clear();
        m_inbox.clear();
        return true;
    }
    bool waitFrames(int count)
    {
        return waitUntil([this, count] {
            if (m_client) {
                m_inbox.append(m_client->readAll());
                split();
            }
            return static_cast<int>(m_frames.size()) >= count;
        });
    }
    mpak::ServiceFrame frame(int i) const { return mpak::decodeFrame(m_frames.at(i)); }
    void sendRaw(const QByteArray& bytes)
    {
        m_client->write(bytes);
        m_client->flush();
    }
    void send(quint32 major, quint32 minor, const std::string& body)
    {
        const std::string frame = mpak::encodeFrame(major, minor, body);
        QByteArray bytes(4, 0);
        qToLittleEndian<quint32>(static_cast<quint32>(frame.size()), bytes.data());
        sendRaw(bytes + QByteArray(frame.data(), static_cast<int>(frame.size())));
    }
    void welcome(quint32 result, const std::string& text = "refused")
    {
        quorix::service::PWelcome w;
        w.result = result;
        w.text = result == 0 ? "welcome" : text;
        send(quorix::service::kControlMajorType, quorix::service::kControlWelcome, mpak::encode(w));
    }
    void drop() { m_client->abort(); }

private:
    void split()
    {
        while (m_inbox.size() >= 4) {
            const quint32 length = qFromLittleEndian<quint32>(m_inbox.constData());
            if (m_inbox.size() < 4 + static_cast<int>(length))
                return;
            m_frames.push_back(std::string(m_inbox.constData() + 4, length));
            m_inbox.remove(0, 4 + static_cast<int>(length));
        }
    }

    QTcpServer m_server;
    quint16 m_port = 0;
    std::unique_ptr<QTcpSocket> m_client;
    QByteArray m_inbox;
    std::vector<std::string> m_frames;
};
