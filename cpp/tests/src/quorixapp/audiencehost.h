#pragma once

// The host the audience tests run in: the fake host of the test support library with windows
// built by the UI framework's layout loader, a channel window, and the local viewer's identity.
// The application root is initialised with it for the object's lifetime, so the bridges, the
// add-on box and the UI creator are the ones the add-on uses in a real host.

#include "tests/support/fakehost.h"

#include <quorix/protocol/serviceframe.h>
#include <quorix/protocol/votemessages.h>

#include <QWidget>

#include <memory>
#include <vector>

class AudienceHost
{
public:
    static constexpr quint32 kChannelId = 888;
    static constexpr quint32 kSubChannelId = 66;

    explicit AudienceHost(quint32 viewerUid = 900, quint32 role = 0);
    ~AudienceHost();

    FakeHost& fake() { return host; }
    IComponentRoot* root() { return host.root(); }
    QWidget* channelWindow() { return channel.get(); }
    // Makes the channel window the active window, or no window active.
    void setChannelWindowActive(bool active);

    // Makes sure a QApplication exists (offscreen in the test environment).
    static void ensureApplication();

private:
    FakeHost host;
    std::unique_ptr<QWidget> channel;
};

// The frames a service connection sent, decoded.
struct SentRequest
{
    quint32 maxType = 0;
    quint32 minType = 0;
    std::string body;

    template <class Message> Message as() const
    {
        Message message;
        mpak::decode(body, message);
        return message;
    }
};
std::vector<SentRequest> sentRequests(const FakeServiceConnection& connection);
std::vector<quint32> sentMinorTypes(const FakeServiceConnection& connection);
