#pragma once

// quorix-voted's TCP front end over the vote service core: accepts connections, runs the
// HELLO/WELCOME handshake (docs/host-transport.md), passes vote frames to the core and the core's
// frames to the connections, and serves the web face's sessions (CoreGateway). The transports run
// on one io_context; the core, its storage and its clock-driven work on a thread of their own
// (CoreThread), which the transports never wait for.

#include "voteservice/server/addresslimiter.h"
#include "voteservice/core/ballotbox.h"
#include "voteservice/core/clock.h"
#include "voteservice/server/coregateway.h"
#include "voteservice/server/corethread.h"
#include "voteservice/auth/opencredentials.h"
#include "voteservice/server/serveroptions.h"
#include "voteservice/core/servicemetrics.h"
#include "voteservice/server/tcpacceptloop.h"
#include "voteservice/auth/revocationstore.h"
#include "voteservice/server/tcpsession.h"
#include "voteservice/auth/tokensigner.h"
#include "voteservice/auth/tokenverifier.h"
#include "voteservice/server/usersessioncount.h"
#include "voteservice/core/votestorage.h"

#include <boost/asio.hpp>

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quorix::service {

struct PHello;
struct PWebTokenAnswer;

class VoteServer : public CoreGateway, private TcpSession::Owner, private CoreThread::Receiver
{
public:
    // Connections still in their handshake may exceed the session limit by this many.
    static constexpr std::size_t kHandshakeSlack = 64;

    // With a ballot box, the open votes are shared with the other processes using the same box.
    VoteServer(asio::io_context& io, const ServerOptions& options, Clock& clock, VoteStorage& storage,
               BallotBox* box = nullptr);
    ~VoteServer() override;

    // Binds and starts accepting; false with a message when the address cannot be used.
    bool listen(std::string& error);
    std::uint16_t port() const;
    // For a server handed its connections through adopt() instead of listening: starts the
    // clock-driven work (ticks, handshake timeouts) that listen() starts.
    void startWithoutListening();
    // Serves an already connected stream socket exactly as an accepted connection.
    void adopt(asio::ip::tcp::socket socket);
    // Where the audit entries of every transport's manager requests go, each once its change is
    // committed; null (the default) writes none. The writer must outlive the server; it is used on
    // the core's thread only (see onCoreThread).
    void auditTo(AuditSink* writer) { m_core.auditTo(writer); }
    // Runs work on the core's thread between its requests, from any thread: for what shares the
    // core's storage or audit writer (reopening the audit file, another thread's audit entries).
    void onCoreThread(std::function<void()> work)
    {
        m_core.post([work = std::move(work)](VoteServiceCore&) { work(); });
    }
    // Stops accepting and closes every connection; the io_context then runs out of work. Commits
    // first; answers still held then are not sent, and the log says how many.
    void stop();
    // The graceful stop: stops accepting and handling host frames at once; once the answers a
    // shared state owes have come, commits, sends every answer held for the commit, then sends each
    // host connection GOING_AWAY and ends it once the peer has closed its side, and tells every web
    // session its output is complete (SessionOutput::goingAway). Web requests in flight are still
    // answered; new web sessions are refused as Stopped. drained() tells when all of it is over.
    void drain();
    bool drained() const { return m_draining && m_connections.empty() && m_gatewaySessions.empty(); }
    // True once a commit failed: the server then stopped, dropped the answers it held and stopped
    // its io_context, since it cannot go on serving without its storage.
    bool storageFailed() const { return m_storageFailed; }

    std::size_t connectionCount() const { return m_connections.size(); }
    // Sessions opened through the gateway (web clients) that are still open.
    std::size_t gatewaySessionCount() const { return m_gatewaySessions.size(); }

    // CoreGateway: the web face's sessions, under the same session limits as host connections.
    Opened openSession(SessionOutput& output, const SessionIdentity& identity, Transport transport,
                       SessionId& id) override;
    void handle(SessionId id, std::uint32_t minType, const std::string& body) override;
    void spendRequest(SessionId id) override;
    void whenSent(SessionId id) override;
    void closeSession(SessionId id) override;
    std::uint32_t broadcastHz(const SubChannelKey& place) override { return m_core.broadcastHz(place); }
    bool storageHealthy(std::string& reason) override;
    std::size_t sessionCount() const { return m_userSessions.size(); }
    // The service's figures; other transports in front of the same core count theirs here too.
    ServiceMetrics& metrics() { return m_metrics; }

    // The token checks, shared with the web face: null where no keys are configured. The web face
    // registers the sessions its tokens opened in openCredentials(), so a reload or a revocation
    // closes them as it closes host sessions.
    TokenVerifier* verifier() { return m_verifier ? &*m_verifier : nullptr; }
    const TokenSigner* signer() const { return m_signer ? &*m_signer : nullptr; }
    OpenCredentials& openCredentials() { return m_credentials; }
    // The TLS context new connections get (a reload may replace it); null: plain TCP.
    const std::shared_ptr<boost::asio::ssl::context>& tls() const { return m_options.tls; }
    // SIGHUP: rereads the secret, keys and TLS files. A file that does not parse keeps everything
    // as it was (false, the reason logged); else the new keys and TLS are used from now on and the
    // sessions whose key is gone are closed.
    bool reloadCredentials() { return reload(m_options); }
    // SIGHUP with the configuration file reread: takes the reloadable options of `reread`
    // (OptionChanges) and rereads the credential files they name, as reloadCredentials(). Open
    // sessions stay (but those whose key is gone); the new rates hold for them too, the new caps for
    // the sessions and connections to come. One line logs what changed, and one warning names the
    // options that changed but need a restart. False, with nothing changed, when a credential
    // file cannot be used.
    bool reload(const ServerOptions& reread);
    // The options in force: those the server started with, and the reloadable ones of the last reload.
    const ServerOptions& options() const { return m_options; }
    // Reread once a second; the sessions of tokens it revokes are closed. Not owned.
    void setRevocationStore(RevocationStore* store) { m_revocationStore = store; }

private:
    void onAccepted(asio::ip::tcp::socket socket);
    // Answers a connection over its address's limits with WELCOME 3 (plain TCP; over TLS it is
    // closed without the handshake the limit spares) and closes it.
    void refuseForAddress(asio::ip::tcp::socket& socket, const asio::ip::address& address,
                          const AddressLimiter::Admission& admission);
    void finishDrain();
    // Closes, every few milliseconds, the host connections that have been told GOING_AWAY and
    // whose peer has everything: one that never closes its side does not hold up the drain.
    void closeDeliveredConnections();
    void onFrame(TcpSession& session, std::uint32_t maxType, std::uint32_t minType,
                 const std::string& payload) override;
    void onClosed(TcpSession& session) override;
    void onBytesSent(std::size_t bytes) override;
    void onQueueCut() override;
    void onHandshakeFailed(TcpSession& session, const std::string& reason) override;
    void coreFrame(SessionId session, const OutFrame& frame) override;
    void coreTicked() override;
    void coreStorageFailed() override;
    void send(SessionId session, const OutFrame& frame);
    SessionOutput* outputOf(SessionId session) const;
    // One vote request to the core; a session that flooded is then dropped.
    void handleOnCore(SessionId id, std::uint32_t minType, const std::string& body);

    void handleHello(TcpSession& session, const std::string& payload);
    // The token's verdict on a HELLO: its claims must be the HELLO's identity and place.
    TokenRefusal checkHelloToken(const PHello& hello, AccessClaims& claims) const;
    void handleControl(TcpSession& session, std::uint32_t minType, const std::string& payload);
    void handleMove(TcpSession& session, const std::string& payload);
    void answerWebToken(TcpSession& session, const std::string& payload);
    // Once the core spent a request of the session's budget on it (or refused it as a flood).
    void answerWebTokenNow(SessionId id, const std::string& payload, bool spent, Disposition disposition);
    // The answer's result, and its token and lifetime when granted.
    std::uint32_t grantWebToken(SessionId id, const std::string& payload, PWebTokenAnswer& answer) const;
    void closeDishonoured(TcpSession& session, TokenRefusal refusal);
    // Checks tokens with the reread keys from now on; the key ids and what changed ("keys secret,
    // k2026 (added k2026; removed none)"), empty without keys.
    std::string useReloadedKeys(ServerOptions::TokenSetup tokens, bool& changed);
    void pollRevocations();
    void useRevocations(RevocationList current);
    void welcome(TcpSession& session, std::uint32_t result, const std::string& text);
    // Logs why, then answers with the refusing WELCOME. `claimed` is the HELLO when it decoded.
    void refuse(TcpSession& session, std::uint32_t result, const std::string& text, const std::string& reason,
                const PHello* claimed);
    // Ends a host connection or web session that flooded.
    void dropFlooder(SessionId id);
    void scheduleSweep();
    // Closes connections that stall: no HELLO in time, or a frame started and not finished in time.
    void sweepStalledConnections();
    bool isStalled(const TcpSession& session, std::int64_t now) const;

    asio::io_context& m_io;
    ServerOptions m_options;
    Clock& m_clock;
    ServiceMetrics m_metrics; // before the core, which counts into it
    UserSessionCount m_userSessions;
    CoreThread m_core;
    std::optional<TokenVerifier> m_verifier;
    std::optional<TokenSigner> m_signer;
    OpenCredentials m_credentials;
    RevocationStore* m_revocationStore = nullptr;
    bool m_readingRevocations = false;
    TcpAcceptLoop m_listener;
    AddressLimiter m_addressLimits;
    asio::steady_timer m_drainTimer;
    asio::steady_timer m_sweepTimer;
    std::unordered_map<SessionId, std::shared_ptr<TcpSession>> m_connections;
    std::shared_ptr<FlushBatch> m_flushes;
    struct GatewaySession
    {
        SessionOutput* output;
        Transport transport;
    };
    std::unordered_map<SessionId, GatewaySession> m_gatewaySessions;
    SessionId m_lastId = 0;
    bool m_stopped = false;
    bool m_draining = false;
    bool m_storageFailed = false;
};

} // namespace quorix::service
