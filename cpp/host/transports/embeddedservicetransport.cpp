#include "host/transports/embeddedservicetransport.h"

#include "voteservice/core/embeddedvoteservice.h"
#include "voteservice/core/memoryvotestorage.h"
#include "voteservice/sqlite/votedatafolder.h"

#include <QStandardPaths>
#include <QtGlobal>

namespace {

// The embedded service keeps the person's votes in their data folder ($XDG_DATA_HOME/quorix, by
// default ~/.local/share/quorix), so they are still there after the host restarts. Test runs set
// QUORIX_EMBEDDED_MEMORY=1 to start from nothing. A folder that cannot be used (another host holds
// it, the disk refuses) falls back to memory; `problem` then says why.
std::unique_ptr<quorix::service::VoteStorage> embeddedStorage(QString& problem)
{
    if (qEnvironmentVariableIntValue("QUORIX_EMBEDDED_MEMORY") == 1)
        return std::make_unique<quorix::service::MemoryVoteStorage>();
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    std::string why = "no data folder";
    if (!base.isEmpty()) {
        auto folder = quorix::service::VoteDataFolder::open((base + QStringLiteral("/quorix")).toStdString());
        for (const std::string& warning : folder.warnings)
            qWarning("quorix: %s", warning.c_str());
        if (folder.storage)
            return std::move(folder.storage);
        why = folder.error;
    }
    problem = QString::fromStdString(why);
    qWarning("quorix: votes kept in memory only: %s", why.c_str());
    return std::make_unique<quorix::service::MemoryVoteStorage>();
}

} // namespace

EmbeddedServiceTransport::EmbeddedServiceTransport(const HostIdentity& identity, QObject* parent)
    : ServiceTransport(parent), m_identity(identity),
      m_service(std::make_unique<quorix::service::EmbeddedVoteService>(embeddedStorage(m_storageProblem))),
      m_inbox(std::make_shared<std::deque<std::string>>())
{
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, [this] { m_service->tick(); });
    m_deliver.setSingleShot(true);
    m_deliver.setInterval(0);
    connect(&m_deliver, &QTimer::timeout, this, &EmbeddedServiceTransport::deliverQueued);
}

EmbeddedServiceTransport::~EmbeddedServiceTransport()
{
    closeSession();
}

void EmbeddedServiceTransport::start()
{
    if (m_session != 0)
        return;
    if (!m_storageProblem.isEmpty())
        emit eventLogged(QStringLiteral("投票只保存在内存中：%1").arg(m_storageProblem));
    openSession();
    m_tick.start();
}

void EmbeddedServiceTransport::openSession()
{
    quorix::service::SessionIdentity identity;
    identity.uid = m_identity.uid;
    identity.imid = m_identity.imid;
    identity.nick = m_identity.nick.toStdString();
    identity.role = m_identity.role;
    identity.channelId = m_identity.channelId;
    identity.subChannelId = m_identity.subChannelId;
    // The callback may run after this transport switched sessions; it only fills the inbox of
    // the session it was made for, which closeSession() empties and abandons.
    auto inbox = std::make_shared<std::deque<std::string>>();
    m_inbox = inbox;
    m_session = m_service->connect(identity, [this, inbox](const std::string& frame) {
        inbox->push_back(frame);
        if (inbox == m_inbox)
            m_deliver.start();
    });
    emit eventLogged(QStringLiteral("内置投票服务已就绪"));
    QTimer::singleShot(0, this, [this, session = m_session] {
        if (session == m_session)
            emit ready();
    });
    if (!m_inbox->empty())
        m_deliver.start();
}

void EmbeddedServiceTransport::closeSession()
{
    if (m_session == 0)
        return;
    m_service->disconnect(m_session);
    m_session = 0;
    m_inbox->clear();
    m_inbox = std::make_shared<std::deque<std::string>>();
}

void EmbeddedServiceTransport::deliverQueued()
{
    const std::shared_ptr<std::deque<std::string>> inbox = m_inbox;
    while (!inbox->empty() && inbox == m_inbox) {
        const std::string frame = inbox->front();
        inbox->pop_front();
        emit frameArrived(frame);
    }
}

void EmbeddedServiceTransport::sendFrame(const std::string& frame)
{
    if (m_session == 0)
        return;
    const std::size_t sessions = m_service->sessionCount();
    if (m_service->send(m_session, frame) || m_service->sessionCount() == sessions)
        return;
    m_session = 0;
    m_inbox = std::make_shared<std::deque<std::string>>();
    emit eventLogged(QStringLiteral("内置投票服务因消息过多断开了本机"));
    emit closed();
    QTimer::singleShot(1000, this, [this] {
        if (m_session == 0)
            openSession();
    });
}

void EmbeddedServiceTransport::moveToSubChannel(quint32 subChannelId)
{
    m_identity.subChannelId = subChannelId;
    if (m_session != 0)
        m_service->move(m_session, subChannelId);
}

void EmbeddedServiceTransport::requestWebToken()
{
    QTimer::singleShot(0, this, [this] { emit webTokenArrived(0, QString(), 7200); });
}

void EmbeddedServiceTransport::updateIdentity(const HostIdentity& identity)
{
    const bool roleChanged = identity.role != m_identity.role;
    m_identity = identity;
    if (!roleChanged || m_session == 0)
        return;
    closeSession();
    emit closed();
    openSession();
}

QString EmbeddedServiceTransport::describe() const
{
    return QStringLiteral("内置投票服务");
}
