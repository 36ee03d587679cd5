#include "host/hostapplication.h"

#include "host/automation/automationserver.h"
#include "host/windows/channelwindow.h"
#include "host/transports/embeddedservicetransport.h"
#include "host/services/hostaddonbox.h"
#include "host/services/hostserviceconnection.h"
#include "host/automation/syntheticmouse.h"
#include "host/transports/tcpservicetransport.h"
#include "host/windows/webviewerlink.h"

#include <quorix/protocol/hostcontrol.h>

#include "paneuicreatorservice.h"
#include "tovoaddonboxitem.h"

#include <QApplication>
#include <QDesktopServices>
#include <QTimer>
#include <QToolButton>

#include <cstdio>

namespace {

std::unique_ptr<ServiceTransport> makeTransport(const HostOptions& options)
{
    if (options.embeddedService())
        return std::make_unique<EmbeddedServiceTransport>(options.identity);
    auto transport = options.serviceAddresses.isEmpty()
                         ? std::make_unique<TcpServiceTransport>(options.serviceHost, options.servicePort,
                                                                 options.identity, options.token)
                         : std::make_unique<TcpServiceTransport>(options.serviceAddresses, options.identity,
                                                                 options.token);
    transport->setCaCertificates(options.caCertificates);
    return transport;
}

HostServices servicesOf(HostChannelService* channel, HostBuddyList* buddyList,
                        HostAuthentication* authentication, HostAddonBox* addonBox, ITovoUICreator* uiCreator,
                        ServiceTransport* transport)
{
    HostServices services;
    services.channel = channel;
    services.buddyList = buddyList;
    services.authentication = authentication;
    services.addonBox = addonBox;
    services.uiCreator = uiCreator;
    services.transport = transport;
    return services;
}

} // namespace

HostApplication::HostApplication(const HostOptions& options, const KeywordFilter& filter)
    : m_options(options), m_state(options.identity), m_transport(makeTransport(options)),
      m_window(std::make_unique<ChannelWindow>(&m_state)), m_loader(options.addonDir),
      m_channel(&m_state, filter), m_buddyList(&m_state), m_authentication(&m_state),
      m_addonBox(std::make_unique<HostAddonBox>(m_window.get())),
      m_uiCreator(comptr<ITovoUICreator>::adopt(PaneUICreatorService::create())),
      m_root(servicesOf(&m_channel, &m_buddyList, &m_authentication, m_addonBox.get(), m_uiCreator.get(),
                        m_transport.get())),
      m_commands(this)
{
    m_channel.setChannelWindow(m_window.get());
    if (!options.embeddedService() && !options.token.isEmpty())
        m_window->fixRoleByToken();
    connect(m_window.get(), &ChannelWindow::closeRequested, this, &HostApplication::shutdown);
    m_window->setWebViewerAvailable(m_options.webUrl.isValid());
    connect(m_window.get(), &ChannelWindow::webViewerRequested, this, &HostApplication::openWebViewer);
    connect(m_addonBox.get(), &HostAddonBox::itemCreated, this,
            [this] { logEvent(QStringLiteral("应用按钮已加入应用栏")); });
    m_sinceStart.start();
    wireState();
    wireTransport();
}

HostApplication::~HostApplication()
{
    m_automation.reset();
    m_loader.unload();
}

bool HostApplication::start(QString* error)
{
    if (!m_options.automationPath.isEmpty()) {
        m_automation = std::make_unique<AutomationServer>(&m_commands);
        if (!m_automation->listen(m_options.automationPath)) {
            if (error)
                *error = m_automation->errorString();
            return false;
        }
    }
    if (m_options.position)
        m_window->move(*m_options.position);
    m_window->show();
    logEvent(QStringLiteral("连接投票服务：%1").arg(m_transport->describe()));
    m_transport->start();
    loadAddon();
    return true;
}

void HostApplication::loadAddon()
{
    QString error;
    if (!m_loader.load(&m_root, &error)) {
        reportAddonFailure(error);
        return;
    }
    logEvent(QStringLiteral("投票应用已加载，稍后启动"));
    QTimer::singleShot(kApplicationStartWaitMs, this, &HostApplication::checkApplicationStarted);
}

void HostApplication::checkApplicationStarted()
{
    if (!m_shutDown && m_loader.isComponentLoaded() && !m_loader.isApplicationLoaded())
        reportAddonFailure(m_loader.applicationProblem());
}

void HostApplication::reportAddonFailure(const QString& reason)
{
    if (m_addonFailed)
        return;
    m_addonFailed = true;
    logEvent(QStringLiteral("投票应用加载失败：%1").arg(reason));
    m_window->setAddonFailed(reason);
    const bool stopping = !m_options.automationPath.isEmpty();
    std::fprintf(stderr, "tovo-host: the add-on in %s cannot be loaded: %s%s\n",
                 m_options.addonDir.toLocal8Bit().constData(), reason.toLocal8Bit().constData(),
                 stopping ? "; stopping (automation is on)" : "");
    std::fflush(stderr);
    if (!stopping)
        return;
    m_exitStatus = 1;
    quitSoon();
}

void HostApplication::wireState()
{
    connect(&m_state, &ChannelState::roleChanged, this, [this](quint32 role) {
        logEvent(QStringLiteral("身份切换为 %1").arg(ChannelWindow::roleName(role)));
        m_channel.notifyMyChannelInfoChanged();
        m_transport->updateIdentity(m_state.identity());
    });
    connect(&m_state, &ChannelState::subChannelChanged, this, [this](quint32 subChannelId) {
        logEvent(QStringLiteral("切换到子频道 %1").arg(subChannelId));
        m_transport->moveToSubChannel(subChannelId);
        m_channel.notifySubChannelSwitched();
    });
}

void HostApplication::wireTransport()
{
    connect(m_transport.get(), &ServiceTransport::eventLogged, this, &HostApplication::logEvent);
    connect(m_transport.get(), &ServiceTransport::ready, this, [this] {
        m_printedRefusal.clear();
        m_printedUnreachable = false;
        refreshConnectionState();
        m_transport->requestWebToken();
    });
    connect(m_transport.get(), &ServiceTransport::webTokenArrived, this, &HostApplication::takeWebToken);
    connect(m_transport.get(), &ServiceTransport::refused, this, &HostApplication::showRefusal);
    connect(m_transport.get(), &ServiceTransport::untrusted, this, &HostApplication::showUntrusted);
    connect(m_transport.get(), &ServiceTransport::unreachable, this, &HostApplication::showUnreachable);
    connect(m_transport.get(), &ServiceTransport::closed, this, [this] {
        logEvent(QStringLiteral("投票服务连接断开"));
        m_webToken.forget();
        m_openWhenGranted = false;
        refreshConnectionState();
    });
    m_root.setConnectionObserver([this](HostServiceConnection* connection) {
        logEvent(QStringLiteral("应用创建了服务连接"));
        connect(connection, &HostServiceConnection::connectionOpened, this, [this](quint32 id) {
            logEvent(QStringLiteral("应用的服务连接 %1 已就绪").arg(id));
            refreshConnectionState();
        });
        connect(connection, &QObject::destroyed, this, &HostApplication::refreshConnectionState);
    });
}

void HostApplication::refreshConnectionState()
{
    if (!m_window)
        return;
    QString detail = m_transport->describe();
    if (m_transport->isReady() && !m_root.anyConnectionOpen())
        detail += QStringLiteral(" · 等待应用连接");
    m_window->setConnectionState(isConnected(), detail);
}

// Shown in the window each time; printed on stderr once, not again for each retry that meets the
// same refusal.
void HostApplication::showRefusal(const QString& reason, bool retrying)
{
    if (m_window)
        m_window->setConnectionRefused(QStringLiteral("%1 · %2").arg(m_transport->describe(), reason),
                                       retrying);
    if (reason == m_printedRefusal)
        return;
    m_printedRefusal = reason;
    std::fprintf(stderr, "tovo-host: the vote service at %s refused this host: %s; %s\n",
                 m_transport->describe().toLocal8Bit().constData(), reason.toLocal8Bit().constData(),
                 retrying ? "retrying" : "not retrying");
    std::fflush(stderr);
}

// The window shows every retry; the terminal gets one line until the link is ready again, so a host
// without a window started before its service does not look hung.
void HostApplication::showUnreachable(const QString& reason)
{
    if (m_printedUnreachable)
        return;
    m_printedUnreachable = true;
    std::fprintf(stderr, "tovo-host: the vote service at %s cannot be reached: %s; retrying\n",
                 m_transport->describe().toLocal8Bit().constData(), reason.toLocal8Bit().constData());
    std::fflush(stderr);
}

// The transport gives up on an untrusted certificate at once, so this comes once.
void HostApplication::showUntrusted(const QString& reason)
{
    if (m_window)
        m_window->setServiceUntrusted(QStringLiteral("%1 · %2").arg(m_transport->describe(), reason));
    std::fprintf(stderr,
                 "tovo-host: the vote service at %s has a certificate this host does not trust: %s; "
                 "not retrying\n",
                 m_transport->describe().toLocal8Bit().constData(), reason.toLocal8Bit().constData());
    std::fflush(stderr);
}

bool HostApplication::isConnected() const
{
    return m_transport->isReady() && m_root.anyConnectionOpen();
}

void HostApplication::logEvent(const QString& text)
{
    if (m_window)
        m_window->logEvent(text);
}

void HostApplication::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_loader.unload();
    logEvent(QStringLiteral("投票应用已卸载"));
    m_window->hide();
    emit finished();
}

QJsonObject HostApplication::hostState() const
{
    const HostIdentity& id = m_state.identity();
    return {{"uid", static_cast<qint64>(id.uid)},
            {"imid", static_cast<qint64>(id.imid)},
            {"nick", id.nick},
            {"role", static_cast<qint64>(id.role)},
            {"channelId", static_cast<qint64>(id.channelId)},
            {"subChannelId", static_cast<qint64>(id.subChannelId)},
            {"addonLoaded", m_loader.isComponentLoaded() && m_loader.isApplicationLoaded()},
            {"connected", isConnected()}};
}

QString HostApplication::clickAddon()
{
    const QList<TovoAddonBoxItem*> items = m_addonBox->items();
    if (items.isEmpty())
        return QStringLiteral("the add-on box is empty (the add-on has not started yet)");
    TovoAddonBoxItem* item = items.first();
    for (TovoAddonBoxItem* candidate : items) {
        if (candidate->objectName() == QLatin1String("quorixItem"))
            item = candidate;
    }
    LocatedWidget target;
    target.widget = m_addonBox->buttonFor(item);
    QString error;
    return SyntheticMouse::click(target, &error) ? QString() : error;
}

QString HostApplication::switchSubChannel(quint32 subChannelId)
{
    m_state.setSubChannelId(subChannelId);
    return QString();
}

QString HostApplication::activateChannelWindow(bool active)
{
    if (!active) {
        QApplication::setActiveWindow(nullptr);
        return QString();
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    QApplication::setActiveWindow(m_window.get());
    return QString();
}

// The link follows the current sub-channel and carries, never this host's own token, but the
// narrower one its service granted for the web pages (none where the service checks none).
QString HostApplication::webViewerLink(bool open, QUrl* link)
{
    if (!m_options.webUrl.isValid())
        return QStringLiteral("no web viewer link: tovo-host was started without --web-url");
    const qint64 now = m_sinceStart.elapsed();
    if (m_webToken.wantsRenewal(now))
        m_transport->requestWebToken();
    if (!m_webToken.usable(now))
        return m_webToken.problem();
    *link = WebViewerLink::build(m_options.webUrl, m_state.identity(), m_webToken.token());
    if (open && !QDesktopServices::openUrl(*link))
        return QStringLiteral("no browser took the web viewer link");
    return QString();
}

void HostApplication::openWebViewer()
{
    // The token is asked for as the link becomes ready; a click before it is there opens the page
    // once it arrives.
    if (m_options.webUrl.isValid() && !m_webToken.usable(m_sinceStart.elapsed()) && !m_webToken.refused() &&
        m_transport->isReady()) {
        m_openWhenGranted = true;
        m_transport->requestWebToken();
        logEvent(QStringLiteral("正在向投票服务申请网页投票页的令牌"));
        return;
    }
    QUrl link;
    const QString error = webViewerLink(true, &link);
    logEvent(error.isEmpty() ? QStringLiteral("已在浏览器中打开网页投票页")
                             : QStringLiteral("网页投票页打不开：%1").arg(error));
}

void HostApplication::takeWebToken(quint32 result, const QString& token, quint32 expiresInSeconds)
{
    if (result == quorix::service::kWebTokenGranted)
        m_webToken.grant(token, expiresInSeconds, m_sinceStart.elapsed());
    else
        m_webToken.refuse(result);
    if (!m_openWhenGranted)
        return;
    m_openWhenGranted = false;
    openWebViewer();
}

void HostApplication::quitSoon()
{
    QTimer::singleShot(0, this, &HostApplication::shutdown);
}
