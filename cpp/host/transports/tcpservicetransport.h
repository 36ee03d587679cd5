#pragma once

// Service transport over TCP to a standalone vote service. Each message on the stream is a u32
// length L followed by one service frame of L bytes. The host opens with HELLO (its identity and
// token), is ready once the service answers WELCOME with result 0, tells sub-channel switches
// with MOVE, and after any drop reconnects with jittered exponential backoff. Given several
// addresses, each reconnect goes to the next one in turn. A service that says it is going away
// (GOING_AWAY, a stop or rolling restart) is left at once for the next address, without a backoff. A refusal
// that another attempt cannot change (token or identity refused, malformed HELLO, HELLO not seen) stops it
// for good; a full service or too many sessions for this user are retried like a drop. A tls:// address is
// reached over TLS 1.2 or newer; a certificate that does not verify (untrusted, another name, expired) stops
// it for good too, since another attempt meets the same certificate.

#include "host/transports/hostidentity.h"
#include "host/transports/reconnectbackoff.h"
#include "host/transports/serviceaddress.h"
#include "host/transports/servicetransport.h"

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QTimer>

class QSslSocket;

class TcpServiceTransport : public ServiceTransport
{
    Q_OBJECT
public:
    TcpServiceTransport(const QString& host, quint16 port, const HostIdentity& identity, const QString& token,
                        QObject* parent = nullptr);
    // addresses must not be empty.
    TcpServiceTransport(const ServiceAddresses& addresses, const HostIdentity& identity, const QString& token,
                        QObject* parent = nullptr);
    ~TcpServiceTransport() override;

    void start() override;
    bool isReady() const override { return m_state == State::Ready; }
    void sendFrame(const std::string& frame) override;
    void moveToSubChannel(quint32 subChannelId) override;
    void updateIdentity(const HostIdentity& identity) override;
    QString describe() const override;
    void requestWebToken() override;

    // Delay in milliseconds of the reconnect now pending, or -1 when none is.
    int pendingReconnectMs() const;
    void setBackoff(const ReconnectBackoff& backoff) { m_backoff = backoff; }
    // The CAs a tls:// service's certificate must chain to; empty (the default): the system's.
    void setCaCertificates(const QList<QSslCertificate>& certificates) { m_caCertificates = certificates; }

    static constexpr int kHandshakeTimeoutMs = 10000;
    // What the web link's token is asked for: the longest the service grants.
    static constexpr quint32 kWebTokenSeconds = 7200;
    // Length prefix bounds: a frame is at least its 10-byte header and at most header plus 65535.
    static constexpr quint32 kMinFrameLength = 10;
    static constexpr quint32 kMaxFrameLength = 10 + 65535;

private:
    enum class State
    {
        Idle,
        Connecting,
        Handshaking,
        Ready,
        Refused // for good: nothing reconnects
    };

    void connectNow();
    void onTcpConnected();
    void onConnected();
    void onSocketError();
    void noteCertificateErrors(const QList<QSslError>& errors);
    void giveUpUntrusted();
    void onReadyRead();
    void onDisconnected();
    enum class Retry
    {
        AfterBackoff,
        AtOnce
    };
    void dropAndRetry(const QString& reason, Retry retry = Retry::AfterBackoff);
    void scheduleReconnect(Retry retry);
    bool takeFrames();
    void handleFrame(const std::string& frame);
    void handleWelcome(const std::string& payload);
    void handleWebToken(const std::string& payload);
    void handleRefusal(quint32 result, const std::string& text);
    void giveUp(const QString& reason);
    void writeFrame(const std::string& frame);
    void writeControl(quint32 minor, const std::string& body);

    ServiceAddresses m_addresses;
    int m_current = 0;
    QString m_host;
    quint16 m_port;
    bool m_tls = false;
    HostIdentity m_identity;
    QString m_token;
    QSslSocket* m_socket = nullptr;
    QList<QSslCertificate> m_caCertificates;
    QString m_certificateProblem; // why the certificate of the current attempt was refused
    QTimer m_reconnectTimer;
    QTimer m_handshakeTimer;
    ReconnectBackoff m_backoff;
    QByteArray m_inbox;
    State m_state = State::Idle;
    int m_lastDelayMs = -1;
};
