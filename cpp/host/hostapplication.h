#pragma once

// The host program: the user's channel state and window, the services add-ons look up, the vote
// service transport (embedded or TCP), the add-on itself and the optional automation socket.
// shutdown() unloads the add-on and emits finished(); the event loop's owner then quits.

#include "host/addonloader.h"
#include "host/automation/automationcommands.h"
#include "host/automation/automationtarget.h"
#include "host/windows/channelstate.h"
#include "host/services/hostauthentication.h"
#include "host/services/hostbuddylist.h"
#include "host/services/hostchannelservice.h"
#include "host/services/hostcomponentroot.h"
#include "host/hostoptions.h"
#include "itovouicreator.h"
#include "host/services/keywordfilter.h"
#include "host/weblinktoken.h"

#include <QElapsedTimer>
#include <QObject>

#include <memory>

class AutomationServer;
class ChannelWindow;
class HostAddonBox;
class ServiceTransport;

class HostApplication : public QObject, public AutomationTarget
{
    Q_OBJECT
public:
    // `addonDir` and `keywordsFile` already resolved to real paths.
    HostApplication(const HostOptions& options, const KeywordFilter& filter);
    ~HostApplication() override;

    // The entry component starts the application library five seconds after it was loaded; this
    // long after, a library still missing counts as failed.
    static constexpr int kApplicationStartWaitMs = 7000;

    // Shows the channel window, starts the transport, opens the automation socket and loads the
    // add-on. False only when the automation socket cannot listen (the reason in `error`).
    // An add-on that cannot be loaded is shown in the channel window and printed on standard
    // error; with automation on, nobody is there to read the window, so the host then stops
    // with exit status 1, else it keeps running.
    bool start(QString* error);
    void shutdown();
    // 0, or 1 after the host stopped because the add-on could not be loaded under automation.
    int exitStatus() const { return m_exitStatus; }

    ChannelState* state() { return &m_state; }
    ChannelWindow* window() const { return m_window.get(); }
    ServiceTransport* transport() const { return m_transport.get(); }
    HostComponentRoot* root() { return &m_root; }
    HostAddonBox* addonBox() const { return m_addonBox.get(); }
    const AddonLoader& loader() const { return m_loader; }
    bool isConnected() const;

    QJsonObject hostState() const override;
    QString clickAddon() override;
    QString switchSubChannel(quint32 subChannelId) override;
    QString activateChannelWindow(bool active) override;
    QString webViewerLink(bool open, QUrl* link) override;
    void quitSoon() override;

signals:
    void finished();

private:
    void wireState();
    void wireTransport();
    void loadAddon();
    void checkApplicationStarted();
    void reportAddonFailure(const QString& reason);
    void refreshConnectionState();
    void showRefusal(const QString& reason, bool retrying);
    void showUntrusted(const QString& reason);
    void showUnreachable(const QString& reason);
    void logEvent(const QString& text);
    void openWebViewer();
    void takeWebToken(quint32 result, const QString& token, quint32 expiresInSeconds);

    HostOptions m_options;
    ChannelState m_state;
    std::unique_ptr<ServiceTransport> m_transport;
    std::unique_ptr<ChannelWindow> m_window;
    AddonLoader m_loader;
    HostChannelService m_channel;
    HostBuddyList m_buddyList;
    HostAuthentication m_authentication;
    std::unique_ptr<HostAddonBox> m_addonBox;
    comptr<ITovoUICreator> m_uiCreator; // the UI framework's
    HostComponentRoot m_root;
    AutomationCommands m_commands;
    std::unique_ptr<AutomationServer> m_automation;
    bool m_shutDown = false;
    bool m_addonFailed = false;
    int m_exitStatus = 0;
    QString m_printedRefusal;          // the refusal last printed on stderr since the link was last ready
    bool m_printedUnreachable = false; // since the link was last ready
    WebLinkToken m_webToken;
    QElapsedTimer m_sinceStart;     // the web token's clock
    bool m_openWhenGranted = false; // the web viewer button waits for the token
};
