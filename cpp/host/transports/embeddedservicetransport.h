#pragma once

// Service transport to a vote service running inside this process. Frames the service sends are
// queued and handed on from the event loop, as they would arrive from a network, so the add-on
// never receives an answer from inside its own send call.

#include "host/transports/hostidentity.h"
#include "host/transports/servicetransport.h"

#include <QTimer>

#include <cstdint>
#include <deque>
#include <memory>

namespace quorix::service {
class EmbeddedVoteService;
}

class EmbeddedServiceTransport : public ServiceTransport
{
    Q_OBJECT
public:
    static constexpr int kTickMs = 100;

    explicit EmbeddedServiceTransport(const HostIdentity& identity, QObject* parent = nullptr);
    ~EmbeddedServiceTransport() override;

    void start() override;
    bool isReady() const override { return m_session != 0; }
    void sendFrame(const std::string& frame) override;
    void moveToSubChannel(quint32 subChannelId) override;
    void updateIdentity(const HostIdentity& identity) override;
    QString describe() const override;
    // The embedded service checks no tokens: an empty one, from the event loop.
    void requestWebToken() override;

private:
    void openSession();
    void closeSession();
    void deliverQueued();

    HostIdentity m_identity;
    // Why the votes are kept in memory only, when the data folder could not be used.
    QString m_storageProblem;
    std::unique_ptr<quorix::service::EmbeddedVoteService> m_service;
    std::uint64_t m_session = 0;
    std::shared_ptr<std::deque<std::string>> m_inbox;
    QTimer m_tick;
    QTimer m_deliver;
};
