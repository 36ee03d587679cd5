#include "voteservice/server/voteserver.h"

#include <quorix/protocol/hostcontrol.h>
#include "voteservice/server/optionchanges.h"
#include "voteservice/core/recordvalidator.h"
#include "voteservice/core/servicelog.h"
#include "voteservice/server/tlsservercontext.h"
#include "voteservice/auth/tokenid.h"

#include <malloc.h>

#include <algorithm>

namespace quorix::service {

namespace {
constexpr std::size_t kMaxNickBytes = 96;
// An ES256 token with every claim and a long jti fits with room to spare.
constexpr std::size_t kMaxTokenBytes = 2048;
// A web page's token: at most two hours, and never able to manage.
constexpr std::int64_t kMaxWebTokenSeconds = 7200;
constexpr std::chrono::milliseconds kSweepInterval(1000);
// While draining, how often connections told GOING_AWAY are checked for a peer that has everything.
constexpr std::chrono::milliseconds kDeliveryPoll(20);

// Hands freed heap pages back to the system. Frames that stopped halfway are buffers of up to
// 64 KiB scattered through the heap; once their connections are gone, the allocator would keep
// their pages resident.
void returnFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

CoreOptions coreOptions(const ServerOptions& options)
{
    CoreOptions core;
    core.broadcastHz = options.broadcastHz;
    core.fanoutBudget = options.fanoutBudget;
    core.answerHoldMs = options.answerHoldMs;
    core.requestsPerSecond = options.requestsPerSecond;
    core.requestBurst = options.requestBurst;
    return core;
}

// The key keyIds() names ("secret" for the secret file's, which has no kid).
const KeySet::Key* keyNamed(const KeySet& keys, const std::string& name)
{
    const KeySet::Key* key = keys.find(name);
    return key == nullptr && name == "secret" ? keys.find("") : key;
}

// Names of the keys of `from` that `other` lacks or holds with other material.
std::string keysNotIn(const KeySet& from, const KeySet& other)
{
    std::string names;
    for (const std::string& name : from.keyIds()) {
        const KeySet::Key* there = keyNamed(other, name);
        if (there == nullptr || there->fingerprint != keyNamed(from, name)->fingerprint)
            names += (names.empty() ? "" : ", ") + name;
    }
    return names.empty() ? "none" : names;
}

// "keys secret, k2026 (added k2026; removed k2025)": names only, never key material.
std::string keyChange(const KeySet& before, const KeySet& after, bool& changed)
{
    std::string text = "keys";
    for (const std::string& name : after.keyIds())
        text += (text == "keys" ? " " : ", ") + name;
    const std::string added = keysNotIn(after, before), removed = keysNotIn(before, after);
    changed = added != "none" || removed != "none";
    if (!changed)
        return text + " (unchanged)";
    return text + " (added " + added + "; removed " + removed + ")";
}

std::string joined(const std::vector<std::string>& parts)
{
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : ", ") + part;
    return text;
}

// The TLS context the certificate and key files hold now (null without TLS); false with the reason
// when they cannot be used.
bool rereadTls(const ServerOptions& options, std::shared_ptr<asio::ssl::context>& tls, std::string& error)
{
    if (options.tlsCertificateFile.empty())
        return true;
    tls = TlsServerContext::load(options.tlsCertificateFile, options.tlsKeyFile, error);
    return tls != nullptr;
}

} // namespace

VoteServer::VoteServer(asio::io_context& io, const ServerOptions& options, Clock& clock, VoteStorage& storage,
                       BallotBox* box)
    : m_io(io), m_options(options), m_clock(clock), m_metrics(clock.unixSeconds()),
      m_userSessions(options.maxSessionsPerUser),
      m_core(io, clock, storage, coreOptions(options), box, m_metrics, *this), m_listener(io, ""),
      m_addressLimits(options.maxConnectionsPerAddress, options.maxNewConnectionsPerAddressPerSecond),
      m_drainTimer(io), m_sweepTimer(io), m_flushes(std::make_shared<FlushBatch>(io))
{
    // Read from the files as the options were parsed (ServerOptions::loadTokens).
    if (m_options.tokens.keys)
        m_verifier.emplace(m_options.tokens.keys, m_options.tokens.policy);
    m_signer = m_options.tokens.signer;
}

VoteServer::~VoteServer()
{
    stop();
}

bool VoteServer::listen(std::string& error)
{
    if (!m_listener.listen(
            m_options.host, m_options.port,
            [this](asio::ip::tcp::socket socket) { onAccepted(std::move(socket)); }, error))
        return false;
    startWithoutListening();
    return true;
}

void VoteServer::startWithoutListening()
{
    m_core.start();
    scheduleSweep();
}

void VoteServer::adopt(asio::ip::tcp::socket socket)
{
    if (!m_stopped)
        onAccepted(std::move(socket));
}

std::uint16_t VoteServer::port() const
{
    return m_listener.port();
}

void VoteServer::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_listener.stop();
    m_drainTimer.cancel();
    m_sweepTimer.cancel();
    m_core.stop();
    auto connections = std::move(m_connections);
    m_connections.clear();
    for (auto& [id, session] : connections)
        session->close();
    auto gatewaySessions = std::move(m_gatewaySessions);
    m_gatewaySessions.clear();
    for (auto& [id, session] : gatewaySessions) {
        m_metrics.sessionClosed(session.transport);
        session.output->close();
    }
}

void VoteServer::drain()
{
    if (m_stopped || m_draining)
        return;
    m_draining = true;
    m_listener.stop();
    m_sweepTimer.cancel();
    for (auto& [id, session] : m_connections)
        session->stopHandlingFrames();
    // Answers a shared state still owes, and those held for the commit, go before GOING_AWAY.
    m_core.drain([this] { finishDrain(); });
}

void VoteServer::finishDrain()
{
    if (m_stopped)
        return;
    const OutFrame goingAway =
        OutFrame::make(kControlMajorType, kControlGoingAway, mpak::encode(PGoingAway{"service stopping"}));
    std::vector<std::shared_ptr<TcpSession>> sessions;
    for (auto& [id, session] : m_connections)
        sessions.push_back(session);
    for (const auto& session : sessions) {
        if (session->welcomed)
            session->goAway(goingAway);
        else
            session->close();
    }
    std::vector<SessionOutput*> outputs;
    for (auto& [id, session] : m_gatewaySessions)
        outputs.push_back(session.output);
    for (SessionOutput* output : outputs)
        output->goingAway();
    closeDeliveredConnections();
}

void VoteServer::closeDeliveredConnections()
{
    if (m_stopped || m_connections.empty())
        return;
    std::vector<std::shared_ptr<TcpSession>> delivered;
    for (auto& [id, session] : m_connections) {
        if (session->deliveredAll())
            delivered.push_back(session);
    }
    for (const auto& session : delivered)
        session->close();
    m_drainTimer.expires_after(kDeliveryPoll);
    m_drainTimer.async_wait([this](const boost::system::error_code& ec) {
        if (!ec)
            closeDeliveredConnections();
    });
}

// ---- connections --------------------------------------------------------------------------------

void VoteServer::onAccepted(asio::ip::tcp::socket socket)
{
    if (m_connections.size() >= m_options.maxSessions + kHandshakeSlack) {
        boost::system::error_code ec;
        socket.close(ec);
        return;
    }
    boost::system::error_code ec;
    const asio::ip::tcp::endpoint peer = socket.remote_endpoint(ec);
    AddressLimiter::Admission admission;
    if (!ec) {
        admission = m_addressLimits.admit(peer.address(), m_clock.steadyMs());
        if (admission.verdict != AddressLimiter::Verdict::Admitted)
            return refuseForAddress(socket, peer.address(), admission);
    }
    const SessionId id = ++m_lastId;
    auto session = std::make_shared<TcpSession>(SessionStream(std::move(socket), m_options.tls), id,
                                                static_cast<TcpSession::Owner&>(*this),
                                                m_options.maxQueuedBytes, m_clock, m_flushes);
    session->holdLease(std::move(admission.lease));
    m_connections.emplace(id, session);
    session->start(m_options.socketSendBuffer);
}

void VoteServer::refuseForAddress(asio::ip::tcp::socket& socket, const asio::ip::address& address,
                                  const AddressLimiter::Admission& admission)
{
    m_metrics.addressLimitRefused(Transport::Tcp);
    if (admission.logNow)
        ServiceLog::line(m_addressLimits.refusalLine("host connection", address, admission));
    boost::system::error_code ec;
    if (!m_options.tls) {
        // A fresh socket's send buffer takes the few bytes at once; nothing waits for them.
        const OutFrame refusal = OutFrame::make(
            kControlMajorType, kControlWelcome,
            mpak::encode(PWelcome{kWelcomeServiceFull, "too many connections from this address"}));
        socket.non_blocking(true, ec);
        socket.write_some(asio::buffer(refusal.wire()), ec);
        socket.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
    }
    socket.close(ec);
}

void VoteServer::onClosed(TcpSession& session)
{
    m_credentials.remove(session.id());
    if (session.welcomed) {
        m_userSessions.remove(session.id());
        m_core.post([id = session.id()](VoteServiceCore& core) { core.closeSession(id); });
        m_metrics.sessionClosed(Transport::Tcp);
    }
    m_connections.erase(session.id());
}

void VoteServer::onBytesSent(std::size_t bytes)
{
    m_metrics.bytesSent(Transport::Tcp, bytes);
}

void VoteServer::onQueueCut()
{
    m_metrics.outputQueueCut();
}

void VoteServer::onHandshakeFailed(TcpSession& session, const std::string& reason)
{
    ServiceLog::line("TLS handshake with " + session.peer() + " failed: " + reason);
}

void VoteServer::coreFrame(SessionId id, const OutFrame& frame)
{
    if (!m_stopped)
        send(id, frame);
}

void VoteServer::coreTicked()
{
    // Answers whose broadcast did not come (a refusal counts nothing) leave when due.
    if (!m_stopped)
        m_flushes->releaseDue(m_clock.steadyMs());
}

void VoteServer::coreStorageFailed()
{
    // Without its storage the service cannot go on: whatever was answered before is saved.
    m_storageFailed = true;
    stop();
    m_io.stop();
}

void VoteServer::send(SessionId id, const OutFrame& frame)
{
    SessionOutput* output = outputOf(id);
    if (output == nullptr)
        return;
    if (frame.isNull())
        output->framesSent();
    else
        output->send(frame);
}

SessionOutput* VoteServer::outputOf(SessionId id) const
{
    const auto connection = m_connections.find(id);
    if (connection != m_connections.end())
        return connection->second.get();
    const auto gateway = m_gatewaySessions.find(id);
    return gateway == m_gatewaySessions.end() ? nullptr : gateway->second.output;
}

void VoteServer::handleOnCore(SessionId id, std::uint32_t minType, const std::string& body)
{
    m_core.post([this, id, minType, body](VoteServiceCore& core) {
        if (core.handle(id, minType, body) == Disposition::Close)
            m_core.thenOnIo([this, id] { dropFlooder(id); });
    });
}

// ---- gateway sessions (the web face) -----------------------------------------------------------

CoreGateway::Opened VoteServer::openSession(SessionOutput& output, const SessionIdentity& identity,
                                            Transport transport, SessionId& id)
{
    if (m_stopped || m_draining)
        return Opened::Stopped;
    if (m_userSessions.size() >= m_options.maxSessions)
        return Opened::ServiceFull;
    const SessionId next = m_lastId + 1;
    if (!m_userSessions.tryAdd(next, identity.channelId, identity.uid))
        return Opened::TooManyForUser;
    id = m_lastId = next;
    m_gatewaySessions.emplace(id, GatewaySession{&output, transport});
    m_metrics.sessionOpened(transport);
    m_core.post([id, identity](VoteServiceCore& core) { core.openSession(id, identity); });
    return Opened::Yes;
}

void VoteServer::handle(SessionId id, std::uint32_t minType, const std::string& body)
{
    if (m_gatewaySessions.count(id) != 0)
        handleOnCore(id, minType, body);
}

void VoteServer::spendRequest(SessionId id)
{
    m_core.post([this, id](VoteServiceCore& core) {
        Disposition disposition = Disposition::Keep;
        if (!core.spendRequest(id, disposition) && disposition == Disposition::Close)
            m_core.thenOnIo([this, id] { dropFlooder(id); });
    });
}

void VoteServer::whenSent(SessionId id)
{
    // Told from the io_context behind the session's frames, never from inside the caller's own call.
    m_core.markSent(id);
}

void VoteServer::closeSession(SessionId id)
{
    const auto it = m_gatewaySessions.find(id);
    if (it == m_gatewaySessions.end())
        return;
    m_metrics.sessionClosed(it->second.transport);
    m_gatewaySessions.erase(it);
    m_credentials.remove(id);
    m_userSessions.remove(id);
    // Frames the core still sends the session find no output and are dropped.
    m_core.post([id](VoteServiceCore& core) { core.closeSession(id); });
}

bool VoteServer::storageHealthy(std::string& reason)
{
    return m_core.healthy(reason);
}

// ---- frames -------------------------------------------------------------------------------------

void VoteServer::onFrame(TcpSession& session, std::uint32_t maxType, std::uint32_t minType,
                         const std::string& payload)
{
    if (!session.welcomed) {
        if (maxType == kControlMajorType && minType == kControlHello)
            return handleHello(session, payload);
        return refuse(session, kWelcomeHelloExpected, "HELLO expected first",
                      "first frame was type " + std::to_string(maxType) + "/" + std::to_string(minType),
                      nullptr);
    }
    if (maxType == kVoteMajorType)
        return handleOnCore(session.id(), minType, payload);
    if (maxType == kControlMajorType)
        return handleControl(session, minType, payload);
    session.close();
}

void VoteServer::handleControl(TcpSession& session, std::uint32_t minType, const std::string& payload)
{
    if (minType == kControlMove)
        return handleMove(session, payload);
    if (minType == kControlWebTokenRequest)
        return answerWebToken(session, payload);
    session.close();
}

void VoteServer::handleMove(TcpSession& session, const std::string& payload)
{
    PMove move;
    if (!mpak::decode(payload, move))
        return session.close();
    const AccessClaims* claims = m_credentials.claimsOf(session.id());
    if (claims && claims->subChannelId && *claims->subChannelId != move.subChannelId) {
        ServiceLog::line("session " + std::to_string(session.id()) + " of uid " +
                         std::to_string(claims->uid) + " closed: its token holds it to sub-channel " +
                         std::to_string(*claims->subChannelId) + ", it moved to " +
                         std::to_string(move.subChannelId));
        return session.close();
    }
    m_core.post([this, id = session.id(), subChannelId = move.subChannelId](VoteServiceCore& core) {
        if (core.moveSession(id, subChannelId) == Disposition::Close)
            m_core.thenOnIo([this, id] { dropFlooder(id); });
    });
}

void VoteServer::answerWebToken(TcpSession& session, const std::string& payload)
{
    m_core.post([this, id = session.id(), payload](VoteServiceCore& core) {
        Disposition disposition = Disposition::Keep;
        const bool spent = core.spendRequest(id, disposition);
        m_core.thenOnIo(
            [this, id, payload, spent, disposition] { answerWebTokenNow(id, payload, spent, disposition); });
    });
}

void VoteServer::answerWebTokenNow(SessionId id, const std::string& payload, bool spent,
                                   Disposition disposition)
{
    const auto open = m_connections.find(id);
    if (open == m_connections.end())
        return;
    PWebTokenAnswer answer;
    if (!spent) {
        if (disposition == Disposition::Close)
            return dropFlooder(id);
        answer.result = kWebTokenTooManyRequests;
    } else {
        answer.result = grantWebToken(id, payload, answer);
    }
    if (answer.result == kWebTokenGranted && !answer.token.empty())
        ServiceLog::line("web token for session " + std::to_string(id) + ": " +
                         std::to_string(answer.expiresIn) + " s");
    open->second->send(OutFrame::make(kControlMajorType, kControlWebTokenAnswer, mpak::encode(answer)));
}

// Scopes the session's token has, without manage and metrics; at most two hours and never past the
// session's token; same identity and sub-channel; a fresh jti.
std::uint32_t VoteServer::grantWebToken(SessionId id, const std::string& payload,
                                        PWebTokenAnswer& answer) const
{
    PWebTokenRequest request;
    if (!mpak::decode(payload, request))
        return kWebTokenMalformed;
    const std::optional<ScopeSet> wanted = ScopeSet::parse(request.scopes);
    if (!wanted)
        return kWebTokenMalformed;
    std::int64_t lifetime = kMaxWebTokenSeconds;
    if (request.lifetimeSeconds != 0)
        lifetime = std::min<std::int64_t>(lifetime, request.lifetimeSeconds);
    const AccessClaims* session = m_credentials.claimsOf(id);
    if (!m_verifier || session == nullptr) {
        // Nothing is checked: the page needs no token.
        answer.expiresIn = static_cast<std::uint32_t>(lifetime);
        return kWebTokenGranted;
    }
    const std::int64_t now = m_clock.unixSeconds();
    lifetime = std::min(lifetime, session->expiresAt - now);
    const ScopeSet scopes =
        wanted->intersect(session->scopes).without(AccessScope::Manage).without(AccessScope::Metrics);
    if (scopes.empty() || lifetime <= 0)
        return kWebTokenNothingToGrant;
    if (!m_signer)
        return kWebTokenCannotSign;
    AccessClaims claims;
    claims.uid = session->uid;
    claims.imid = session->imid;
    claims.role = session->role;
    claims.channelId = session->channelId;
    claims.subChannelId = session->subChannelId;
    claims.scopes = scopes;
    claims.issuedAt = now;
    claims.expiresAt = now + lifetime;
    claims.tokenId = randomTokenId();
    if (claims.tokenId.empty())
        return kWebTokenCannotSign;
    answer.token = m_signer->sign(claims);
    answer.expiresIn = static_cast<std::uint32_t>(lifetime);
    return kWebTokenGranted;
}

void VoteServer::dropFlooder(SessionId id)
{
    if (const auto open = m_connections.find(id); open != m_connections.end()) {
        ServiceLog::line("session " + std::to_string(id) + " dropped for flooding");
        // Held here: closing removes it from the connections.
        const std::shared_ptr<TcpSession> held = open->second;
        return held->close();
    }
    const auto gateway = m_gatewaySessions.find(id);
    if (gateway == m_gatewaySessions.end())
        return;
    ServiceLog::line("web session " + std::to_string(id) + " dropped for flooding");
    SessionOutput* output = gateway->second.output;
    closeSession(id);
    output->close();
}

void VoteServer::handleHello(TcpSession& session, const std::string& payload)
{
    PHello hello;
    if (!mpak::decode(payload, hello))
        return refuse(session, kWelcomeMalformed, "malformed HELLO", "body does not decode", nullptr);
    if (hello.nick.size() > kMaxNickBytes)
        return refuse(session, kWelcomeMalformed, "malformed HELLO", "nick over 96 bytes", &hello);
    if (RecordValidator::utf8Length(hello.nick) == std::string::npos)
        return refuse(session, kWelcomeMalformed, "malformed HELLO", "nick not UTF-8", &hello);
    if (hello.token.size() > kMaxTokenBytes)
        return refuse(session, kWelcomeMalformed, "malformed HELLO", "token over 2048 bytes", &hello);
    AccessClaims claims;
    if (m_verifier) {
        const TokenRefusal refusal = checkHelloToken(hello, claims);
        if (refusal != TokenRefusal::None)
            return refuse(session, kWelcomeBadToken, "token refused", reasonWord(refusal), &hello);
    }
    if (m_userSessions.size() >= m_options.maxSessions)
        return refuse(session, kWelcomeServiceFull, "service full",
                      "session limit " + std::to_string(m_options.maxSessions), &hello);
    if (!m_userSessions.tryAdd(session.id(), hello.channelId, hello.uid))
        return refuse(session, kWelcomeTooManyForUser, "too many sessions for this user",
                      "per-user limit " + std::to_string(m_options.maxSessionsPerUser), &hello);

    // WELCOME goes first; the core may push the running vote as soon as the session exists.
    session.welcomed = true;
    welcome(session, kWelcomeAccepted, "welcome");
    m_metrics.sessionOpened(Transport::Tcp);
    SessionIdentity identity;
    identity.uid = hello.uid;
    identity.imid = hello.imid;
    identity.nick = hello.nick;
    identity.role = hello.role;
    identity.channelId = hello.channelId;
    identity.subChannelId = hello.subChannelId;
    identity.transport = "tcp";
    identity.peer = session.peer();
    if (m_verifier) {
        identity.scopes = claims.scopes;
        identity.tokenId = claims.tokenId;
        m_credentials.add(session.id(), std::move(claims), [this, id = session.id()](TokenRefusal refusal) {
            const auto open = m_connections.find(id);
            if (open == m_connections.end())
                return;
            // Held here: closing removes it from the connections.
            const std::shared_ptr<TcpSession> held = open->second;
            closeDishonoured(*held, refusal);
        });
    }
    m_core.post([id = session.id(), identity](VoteServiceCore& core) { core.openSession(id, identity); });
}

TokenRefusal VoteServer::checkHelloToken(const PHello& hello, AccessClaims& claims) const
{
    // Only a legacy token, which names nobody, is checked against the identity the HELLO claims.
    const LegacyIdentity claimed{hello.uid, hello.imid, hello.role, hello.channelId};
    TokenVerdict verdict = m_verifier->verify(hello.token, m_clock.unixSeconds(), &claimed);
    if (!verdict.accepted())
        return verdict.refusal;
    const AccessClaims& c = verdict.claims;
    if (c.uid != hello.uid || c.imid != hello.imid || c.role != hello.role)
        return TokenRefusal::WrongClaims;
    if (c.channelId != hello.channelId || (c.subChannelId && *c.subChannelId != hello.subChannelId))
        return TokenRefusal::WrongChannel;
    claims = std::move(verdict.claims);
    return TokenRefusal::None;
}

// A session whose key went away or whose token was revoked: closed as WELCOME 2 would refuse it now.
void VoteServer::closeDishonoured(TcpSession& session, TokenRefusal refusal)
{
    ServiceLog::line("closing session " + std::to_string(session.id()) + " of " + session.peer() +
                     ": WELCOME 2 token refused (" + reasonWord(refusal) + ")");
    session.close();
}

bool VoteServer::reload(const ServerOptions& reread)
{
    ServerOptions next = m_options;
    const OptionChanges changes = OptionChanges::apply(next, reread);
    ServerOptions::TokenSetup tokens;
    std::shared_ptr<asio::ssl::context> tls;
    std::string error;
    if (!next.readTokenSetup(tokens, error) || !rereadTls(next, tls, error)) {
        ServiceLog::line(ServiceLog::Priority::Warning,
                         "reload: " + error + "; nothing changed, keeping the keys and TLS read before");
        return false;
    }
    if (!changes.needRestart.empty())
        ServiceLog::line(ServiceLog::Priority::Warning, "reload: " + joined(changes.needRestart) +
                                                            " changed, which needs a restart; " +
                                                            "keeping the values the service started with");
    m_options = std::move(next);
    m_core.post([options = coreOptions(m_options)](VoteServiceCore& core) {
        core.setRequestRate(options.requestsPerSecond, options.requestBurst);
        core.setFanoutBudget(options.fanoutBudget);
        core.setAnswerHold(options.answerHoldMs);
    });
    m_userSessions.setMaxPerUser(m_options.maxSessionsPerUser);
    m_addressLimits.setBounds(m_options.maxConnectionsPerAddress,
                              m_options.maxNewConnectionsPerAddressPerSecond);
    bool keysChanged = false;
    const std::string keys = useReloadedKeys(std::move(tokens), keysChanged);
    // "reload: OPTION OLD → NEW, …; keys …; TLS certificate and key reread; N sessions closed",
    // each part only where it applies; "nothing changed" when neither an option nor a key did.
    std::string text = changes.applied.empty() && !keysChanged ? "nothing changed" : joined(changes.applied);
    const auto append = [&text](const std::string& part) { text += (text.empty() ? "" : "; ") + part; };
    if (!keys.empty())
        append(keys);
    if (tls) {
        m_options.tls = std::move(tls);
        append("TLS certificate and key reread");
    }
    if (m_verifier)
        append(std::to_string(m_credentials.closeDishonoured(*m_verifier)) + " sessions closed");
    ServiceLog::line("reload: " + text);
    // After the line, so that a reload to a quieter level still says what it changed.
    ServiceLog::setLevel(*ServiceLog::levelNamed(m_options.logLevel));
    return true;
}

std::string VoteServer::useReloadedKeys(ServerOptions::TokenSetup tokens, bool& changed)
{
    std::string keys;
    if (m_verifier && tokens.keys) {
        keys = keyChange(m_verifier->keys(), *tokens.keys, changed);
        m_verifier->replaceKeys(tokens.keys);
    }
    m_signer = std::move(tokens.signer);
    return keys;
}

// The store is read on the core's thread, beside the storage it may share; one read at a time.
void VoteServer::pollRevocations()
{
    if (m_revocationStore == nullptr || !m_verifier || m_readingRevocations)
        return;
    m_readingRevocations = true;
    m_core.post([this, store = m_revocationStore](VoteServiceCore&) {
        auto current = std::make_shared<RevocationList>(store->current(m_clock.unixSeconds()));
        m_core.thenOnIo([this, current] {
            m_readingRevocations = false;
            useRevocations(std::move(*current));
        });
    });
}

void VoteServer::useRevocations(RevocationList current)
{
    if (!m_verifier)
        return;
    // A store that cannot be read answers nothing, as one without revocations does: the list in
    // force stays rather than letting revoked tokens in again. Keeping a revocation past its time
    // refuses no token that could still be valid (but a legacy one, which has no issue time).
    if (current == m_verifier->revocations() || current.size() == 0)
        return;
    const std::size_t count = current.size();
    m_verifier->replaceRevocations(std::move(current));
    const std::size_t closed = m_credentials.closeDishonoured(*m_verifier);
    ServiceLog::line("revocations: " + std::to_string(count) + " in force; " + std::to_string(closed) +
                     " sessions closed");
}

// One log line per refusal, so an operator can tell why a host never gets in. It names what the
// peer claimed (uid, role, channel) but nothing of its token or nick.
void VoteServer::refuse(TcpSession& session, std::uint32_t result, const std::string& text,
                        const std::string& reason, const PHello* claimed)
{
    std::string line = "refused " + session.peer() + ": WELCOME " + std::to_string(result) + " " + text +
                       " (" + reason + ")";
    if (claimed)
        line += "; it claimed uid " + std::to_string(claimed->uid) + ", role " +
                std::to_string(claimed->role) + " in channel " + std::to_string(claimed->channelId);
    ServiceLog::line(line);
    welcome(session, result, text);
}

void VoteServer::welcome(TcpSession& session, std::uint32_t result, const std::string& text)
{
    session.send(OutFrame::make(kControlMajorType, kControlWelcome, mpak::encode(PWelcome{result, text})));
    if (result != kWelcomeAccepted) {
        session.welcomed = false;
        session.closeAfterFlush();
    }
}

// ---- time ---------------------------------------------------------------------------------------

void VoteServer::scheduleSweep()
{
    m_sweepTimer.expires_after(kSweepInterval);
    m_sweepTimer.async_wait([this](const boost::system::error_code& ec) {
        if (ec || m_stopped)
            return;
        sweepStalledConnections();
        pollRevocations();
        scheduleSweep();
    });
}

void VoteServer::sweepStalledConnections()
{
    const std::int64_t now = m_clock.steadyMs();
    std::vector<std::shared_ptr<TcpSession>> stalled;
    bool heldFrames = false;
    for (const auto& [id, session] : m_connections) {
        if (isStalled(*session, now)) {
            stalled.push_back(session);
            heldFrames = heldFrames || session->partialFrameSinceMs();
        }
    }
    for (const auto& session : stalled)
        session->close();
    if (heldFrames)
        returnFreedMemory();
}

bool VoteServer::isStalled(const TcpSession& session, std::int64_t now) const
{
    if (!session.welcomed && now - session.acceptedAtMs() >= m_options.helloTimeoutMs)
        return true;
    const std::optional<std::int64_t> frameSince = session.partialFrameSinceMs();
    return frameSince && now - *frameSince >= m_options.frameTimeoutMs;
}

} // namespace quorix::service
