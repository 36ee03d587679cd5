#pragma once

// The host's channel window: where the user is (channel, sub-channel), who the user is (nick,
// number, role), switchers for sub-channel and role, the add-on box with the buttons add-ons
// insert, the vote service link state and a short event log.
// Closing it asks the host to shut down (closeRequested); the window itself stays until then.

#include "host/transports/hostidentity.h"

#include <QWidget>

class ChannelState;
class QComboBox;
class QFrame;
class QHBoxLayout;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

class ChannelWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kMaxLogLines = 200;
    static constexpr quint32 kViewerRole = 20;

    explicit ChannelWindow(ChannelState* state, QWidget* parent = nullptr);

    // A button in the add-on box; the caller connects its clicks and keeps it up to date.
    QToolButton* addAddonButton(const QString& objectName);
    void removeAddonButton(QToolButton* button);
    // The add-on could not be loaded: the add-on box says so with `reason` instead of waiting.
    void setAddonFailed(const QString& reason);

    void setConnectionState(bool connected, const QString& detail);
    // The service turned this host away for `reason`; retrying says whether the host tries again.
    void setConnectionRefused(const QString& reason, bool retrying);
    // The service's TLS certificate was refused; the host does not try again.
    void setServiceUntrusted(const QString& reason);
    // The role comes from the host's token, which the service checks: switching it would only be
    // refused, so the switcher is disabled and its tool tip says why.
    void fixRoleByToken();
    // The web viewer button works only when the host knows the service's web face (--web-url);
    // otherwise it stays disabled and its tool tip says why.
    void setWebViewerAvailable(bool available);
    void logEvent(const QString& text);
    QStringList eventLines() const;

    static QList<quint32> roles();
    static QString roleName(quint32 role);
    // "tovo-host - 频道 888 - 观众甲 (20)": channel, nickname and role, so windows of several
    // hosts on one desktop tell apart; it follows role changes.
    static QString titleFor(const HostIdentity& identity);

signals:
    void closeRequested();
    void webViewerRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildHeader();
    QWidget* buildSwitchers();
    QWidget* buildAddonBox();
    QWidget* buildStatus();
    void followNewestEvents();
    void showConnection(bool connected, const QString& state, const QString& detail);
    void refreshIdentity();
    void selectSubChannel(quint32 subChannelId);

    ChannelState* m_state;
    QLabel* m_channelLabel = nullptr;
    QLabel* m_userLabel = nullptr;
    QLabel* m_roleLabel = nullptr;
    QPushButton* m_webViewerButton = nullptr;
    QComboBox* m_subChannelCombo = nullptr;
    QComboBox* m_roleCombo = nullptr;
    QFrame* m_addonBox = nullptr;
    QHBoxLayout* m_addonLayout = nullptr;
    QLabel* m_addonPlaceholder = nullptr;
    QLabel* m_connectionLabel = nullptr;
    QPlainTextEdit* m_eventLog = nullptr;
    bool m_closing = false;
    bool m_followEvents = true;
};
