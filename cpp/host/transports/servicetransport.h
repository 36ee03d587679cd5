#pragma once

// Carries the add-on's service frames between the host and a vote service. The host's service
// connection objects sit on top of one transport shared by the whole host process.
// Signals: ready() each time the link becomes usable (again), closed() each time it is lost,
// frameArrived() for every service frame received while ready, refused() each time the service
// turns this host away (retrying false once the transport has given up for good), untrusted() when
// the service's TLS certificate is refused (the transport has then given up for good), unreachable()
// each time an attempt to connect fails before the service could answer (a retry follows),
// webTokenArrived() with the service's answer to requestWebToken().

#include <QObject>

#include <string>

struct HostIdentity;

class ServiceTransport : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts connecting; ready() follows once the service accepted this host.
    virtual void start() = 0;
    virtual bool isReady() const = 0;
    // Hands one service frame (major, minor, length, payload) to the service. Frames given while
    // not ready are dropped: the add-on's requests are not queued across a reconnect.
    virtual void sendFrame(const std::string& frame) = 0;
    // The user switched to another sub-channel of the same channel.
    virtual void moveToSubChannel(quint32 subChannelId) = 0;
    // The user's role changed; the service learns identities at connect time, so a change
    // reaches it on the next handshake.
    virtual void updateIdentity(const HostIdentity& identity) = 0;
    // A short human-readable description of the link for the channel window.
    virtual QString describe() const = 0;
    // Asks the service, while ready, for a token the user's web pages may hold: events and vote for
    // this identity, two hours at most. A service that checks no tokens grants an empty one.
    virtual void requestWebToken() = 0;

signals:
    void ready();
    void closed();
    void frameArrived(const std::string& frame);
    void refused(const QString& reason, bool retrying);
    void untrusted(const QString& reason);
    void unreachable(const QString& reason);
    void eventLogged(const QString& text);
    // result 0 (quorix::service::WebTokenResult) with the token and its lifetime, else a refusal.
    void webTokenArrived(quint32 result, const QString& token, quint32 expiresInSeconds);
};
