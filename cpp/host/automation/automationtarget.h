#pragma once

// What the automation commands ask of the host program itself, beyond its windows.

#include <QJsonObject>
#include <QString>
#include <QUrl>

class AutomationTarget
{
public:
    virtual ~AutomationTarget() = default;

    // uid, role, channelId, subChannelId, addonLoaded, connected.
    virtual QJsonObject hostState() const = 0;
    // Each returns an empty text on success, else what went wrong.
    virtual QString clickAddon() = 0;
    virtual QString switchSubChannel(quint32 subChannelId) = 0;
    virtual QString activateChannelWindow(bool active) = 0;
    // The user's own web viewer link in `link`; with `open` also handed to the desktop's browser.
    virtual QString webViewerLink(bool open, QUrl* link) = 0;
    // Quits after the current answer has been written.
    virtual void quitSoon() = 0;
};
