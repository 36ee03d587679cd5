#include "host/transports/tcpservicetransport.h"

#include <quorix/protocol/hostcontrol.h>
#include <quorix/protocol/serviceframe.h>

#include <QSslConfiguration>
#include <QSslSocket>
#include <QtEndian>

namespace {

constexpr int kMaxRefusalTextChars = 200;

// A refusal of this host's HELLO (its form or its token) repeats however often the same HELLO is
// sent; a full service, too many sessions for this user and results unknown here may pass.
bool isRetryableRefusal(quint32 result)
{
    using namespace quorix::service;
    return result != kWelcomeMalformed && result != kWelcomeBadToken && result != kWelcomeHelloExpected;
}

bool isShowable(QChar::Category category)
{
    switch (category) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return false;
    default:
        return true;
    }
}

// The service's words, fit for a terminal and a status line: no control, format or direction
// characters.
QString printableText(const std::string& text)
{
    QString printable;
    for (const uint code : QString::fromStdString(text).left(kMaxRefusalTextChars).toUcs4()) {
        if (isShowable(QChar::category(code)))
            printable += QString::fromUcs4(&code, 1);
    }
    return printable.isEmpty() ? QStringLiteral("refused") : printable;
}

} // namespace

TcpServiceTransport::TcpServiceTransport(const QString& host, quint16 port, const HostIdentity& identity,
                                         const QString& token, QObject* parent)
    : TcpServiceTransport(ServiceAddresses{ServiceAddress{host, port}}, identity, token, parent)
{}

TcpServiceTransport::TcpServiceTransport(const ServiceAddresses& addresses, const HostIdentity& identity,
                                         const QString& token, QObject* parent)
    : ServiceTransport(parent), m_addresses(addresses), m_host(addresses.value(0).host),
      m_port(addresses.value(0).port), m_tls(addresses.value(0).tls), m_identity(identity), m_token(token),
      m_socket(new QSslSocket(this))
{
    m_reconnectTimer.setSingleShot(true);
    m_handshakeTimer.setSingleShot(true);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &TcpServiceTransport::connectNow);
    connect(&m_handshakeTimer, &QTimer::timeout, this,
            [this] { dropAndRetry(QStringLiteral("投票服务未回应握手")); });
    connect(m_socket, &QSslSocket::connected, this, &TcpServiceTransport::onTcpConnected);
    connect(m_socket, &QSslSocket::encrypted, this, &TcpServiceTransport::onConnected);
    connect(m_socket, &QSslSocket::readyRead, this, &TcpServiceTransport::onReadyRead);
    connect(m_socket, &QSslSocket::disconnected, this, &TcpServiceTransport::onDisconnected);
    connect(m_socket, &QSslSocket::errorOccurred, this, &TcpServiceTransport::onSocketError);
    connect(m_socket, qOverload<const QList<QSslError>&>(&QSslSocket::sslErrors), this,
            &TcpServiceTransport::noteCertificateErrors);
}

TcpServiceTransport::~TcpServiceTransport()
{
    m_socket->disconnect(this);
    m_socket->abort();
}

void TcpServiceTransport::start()
{
    if (m_state == State::Idle && !m_reconnectTimer.isActive())
        connectNow();
}

void TcpServiceTransport::connectNow()
{
    m_inbox.clear();
    m_certificateProblem.clear();
    m_state = State::Connecting;
    m_socket->abort();
    if (!m_tls)
        return m_socket->connectToHost(m_host, m_port);
    if (!QSslSocket::supportsSsl()) {
        m_certificateProblem = QStringLiteral("TLS is not available: Qt found no OpenSSL library");
        return giveUpUntrusted();
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!m_caCertificates.isEmpty())
        configuration.setCaCertificates(m_caCertificates);
    m_socket->setSslConfiguration(configuration);
    m_socket->connectToHostEncrypted(m_host, m_port);
}

// Over TLS the HELLO waits for the handshake; the handshake counts against the WELCOME's time.
void TcpServiceTransport::onTcpConnected()
{
    if (m_tls)
        m_handshakeTimer.start(kHandshakeTimeoutMs);
    else
        onConnected();
}

// Qt reports the certificate's problems first, then fails the handshake (onSocketError).
void TcpServiceTransport::noteCertificateErrors(const QList<QSslError>& errors)
{
    QStringList problems;
    for (const QSslError& error : errors) {
        if (!problems.contains(error.errorString()))
            problems << error.errorString();
    }
    m_certificateProblem = problems.join(QStringLiteral("; "));
}

void TcpServiceTransport::onSocketError()
{
    if (!m_certificateProblem.isEmpty() && m_state != State::Refused)
        return giveUpUntrusted();
    if (m_state == State::Connecting) {
        emit unreachable(m_socket->errorString());
        dropAndRetry(m_socket->errorString());
    }
}

void TcpServiceTransport::giveUpUntrusted()
{
    m_state = State::Refused;
    m_handshakeTimer.stop();
    m_reconnectTimer.stop();
    m_inbox.clear();
    m_socket->abort();
    emit eventLogged(
        QStringLiteral("投票服务 %1 的证书不可信：%2，不再重试").arg(describe(), m_certificateProblem));
    emit untrusted(m_certificateProblem);
}

void TcpServiceTransport::onConnected()
{
    m_state = State::Handshaking;
    quorix::service::PHello hello;
    hello.uid = m_identity.uid;
    hello.imid = m_identity.imid;
    hello.nick = m_identity.nick.toStdString();
    hello.role = m_identity.role;
    hello.channelId = m_identity.channelId;
    hello.subChannelId = m_identity.subChannelId;
    hello.token = m_token.toStdString();
    writeControl(quorix::service::kControlHello, mpak::encode(hello));
    m_handshakeTimer.start(kHandshakeTimeoutMs);
}

void TcpServiceTransport::onReadyRead()
{
    m_inbox.append(m_socket->readAll());
    if (!takeFrames())
        dropAndRetry(QStringLiteral("投票服务发来的数据无法解析"));
}

// Splits whole frames off the inbox. False when a length prefix is out of bounds; the inbox then
// never holds more than one incomplete frame, so a hostile peer cannot grow it.
bool TcpServiceTransport::takeFrames()
{
    int offset = 0;
    while (m_inbox.size() - offset >= 4) {
        const quint32 length = qFromLittleEndian<quint32>(m_inbox.constData() + offset);
        if (length < kMinFrameLength || length > kMaxFrameLength)
            return false;
        if (static_cast<quint32>(m_inbox.size() - offset - 4) < length)
            break;
        const std::string frame(m_inbox.constData() + offset + 4, length);
        offset += 4 + static_cast<int>(length);
        handleFrame(frame);
        if (m_state != State::Handshaking && m_state != State::Ready)
            return true;
    }
    m_inbox.remove(0, offset);
    return true;
}

void TcpServiceTransport::handleFrame(const std::string& frame)
{
    mpak::ServiceFrame parsed;
    try {
        parsed = mpak::decodeFrame(frame);
    } catch (const mpak::UnpackError&) {
        dropAndRetry(QStringLiteral("投票服务发来的帧不完整"));
        return;
    }
    if (parsed.maxType == quorix::service::kControlMajorType) {
        if (parsed.minType == quorix::service::kControlWelcome && m_state == State::Handshaking)
            handleWelcome(parsed.payload);
        else if (parsed.minType == quorix::service::kControlWebTokenAnswer && m_state == State::Ready)
            handleWebToken(parsed.payload);
        else if (parsed.minType == quorix::service::kControlGoingAway)
            dropAndRetry(QStringLiteral("投票服务 %1 即将停止").arg(describe()), Retry::AtOnce);
        return;
    }
    if (m_state == State::Ready)
        emit frameArrived(frame);
}

void TcpServiceTransport::handleWelcome(const std::string& payload)
{
    quorix::service::PWelcome welcome;
    if (!mpak::decode(payload, welcome)) {
        dropAndRetry(QStringLiteral("投票服务的握手回应无法解析"));
        return;
    }
    if (welcome.result != quorix::service::kWelcomeAccepted) {
        handleRefusal(welcome.result, welcome.text);
        return;
    }
    m_handshakeTimer.stop();
    m_backoff.reset();
    m_state = State::Ready;
    emit eventLogged(QStringLiteral("投票服务 %1 已就绪").arg(describe()));
    emit ready();
}

void TcpServiceTransport::handleWebToken(const std::string& payload)
{
    quorix::service::PWebTokenAnswer answer;
    if (!mpak::decode(payload, answer)) {
        emit webTokenArrived(quorix::service::kWebTokenMalformed, QString(), 0);
        return;
    }
    emit webTokenArrived(answer.result, QString::fromStdString(answer.token), answer.expiresIn);
}

// refused() goes out before a retry moves on to the next address, so describe() still names the
// service that refused.
void TcpServiceTransport::handleRefusal(quint32 result, const std::string& text)
{
    QString reason = QStringLiteral("%1 (WELCOME %2)").arg(printableText(text), QString::number(result));
    // The usual cause of a refused token: none was given to this host.
    if (result == quorix::service::kWelcomeBadToken && m_token.isEmpty())
        reason += QStringLiteral("; this host has no token (--token, --token-file or $QUORIX_TOKEN)");
    if (!isRetryableRefusal(result)) {
        giveUp(reason);
        return;
    }
    emit refused(reason, true);
    dropAndRetry(QStringLiteral("投票服务拒绝连接：%1").arg(reason));
}

void TcpServiceTransport::giveUp(const QString& reason)
{
    m_state = State::Refused;
    m_handshakeTimer.stop();
    m_reconnectTimer.stop();
    m_inbox.clear();
    m_socket->abort();
    emit eventLogged(QStringLiteral("投票服务 %1 拒绝连接：%2，不再重试").arg(describe(), reason));
    emit refused(reason, false);
}

void TcpServiceTransport::onDisconnected()
{
    if (!m_certificateProblem.isEmpty() && m_state != State::Refused)
        giveUpUntrusted();
    else if (m_state != State::Idle && m_state != State::Refused)
        dropAndRetry(QStringLiteral("投票服务关闭了连接"));
}

void TcpServiceTransport::dropAndRetry(const QString& reason, Retry retry)
{
    const bool wasReady = m_state == State::Ready;
    m_state = State::Idle;
    m_handshakeTimer.stop();
    m_inbox.clear();
    m_socket->abort();
    if (m_addresses.size() > 1) {
        m_current = (m_current + 1) % m_addresses.size();
        m_host = m_addresses[m_current].host;
        m_port = m_addresses[m_current].port;
        m_tls = m_addresses[m_current].tls;
    }
    scheduleReconnect(retry);
    emit eventLogged(QStringLiteral("%1，%2 毫秒后重连 %3").arg(reason).arg(m_lastDelayMs).arg(describe()));
    if (wasReady)
        emit closed();
}

void TcpServiceTransport::scheduleReconnect(Retry retry)
{
    m_lastDelayMs = retry == Retry::AtOnce ? 0 : m_backoff.nextDelayMs();
    m_reconnectTimer.start(m_lastDelayMs);
}

int TcpServiceTransport::pendingReconnectMs() const
{
    return m_reconnectTimer.isActive() ? m_lastDelayMs : -1;
}

void TcpServiceTransport::sendFrame(const std::string& frame)
{
    if (m_state == State::Ready)
        writeFrame(frame);
}

void TcpServiceTransport::moveToSubChannel(quint32 subChannelId)
{
    m_identity.subChannelId = subChannelId;
    if (m_state != State::Ready)
        return;
    quorix::service::PMove move;
    move.subChannelId = subChannelId;
    writeControl(quorix::service::kControlMove, mpak::encode(move));
}

void TcpServiceTransport::requestWebToken()
{
    if (m_state != State::Ready)
        return;
    quorix::service::PWebTokenRequest request;
    request.scopes = "events vote";
    request.lifetimeSeconds = kWebTokenSeconds;
    writeControl(quorix::service::kControlWebTokenRequest, mpak::encode(request));
}

void TcpServiceTransport::updateIdentity(const HostIdentity& identity)
{
    const bool roleChanged = identity.role != m_identity.role;
    m_identity = identity;
    if (roleChanged && m_state == State::Ready)
        dropAndRetry(QStringLiteral("身份已变更，重新连接投票服务"));
}

QString TcpServiceTransport::describe() const
{
    return QStringLiteral("%1%2:%3").arg(m_tls ? QStringLiteral("tls://") : QString(), m_host).arg(m_port);
}

void TcpServiceTransport::writeFrame(const std::string& frame)
{
    uchar prefix[4];
    qToLittleEndian<quint32>(static_cast<quint32>(frame.size()), prefix);
    m_socket->write(reinterpret_cast<const char*>(prefix), 4);
    m_socket->write(frame.data(), static_cast<qint64>(frame.size()));
}

void TcpServiceTransport::writeControl(quint32 minor, const std::string& body)
{
    writeFrame(mpak::encodeFrame(quorix::service::kControlMajorType, minor, body));
}
