#include "tests/src/quorixapp/audiencehost.h"

#include "src/quorixapp/quorixapp.h"

#include "panelayoutloader.h"

#include <QApplication>

AudienceHost::AudienceHost(quint32 viewerUid, quint32 role)
{
    ensureApplication();
    channel = std::make_unique<QWidget>();
    channel->resize(320, 240);
    host.channel().setChannelId(kChannelId);
    host.channel().setSubChannelId(kSubChannelId);
    host.channel().setWidget(channel.get());
    host.channel().myRow().setUInt32(L"dwUid", viewerUid);
    host.channel().myRow().setUInt32(L"dwRole", role);
    host.common().setUid(viewerUid);
    host.setConnectionsReady(true);
    host.uiCreator().setFactory([](const QString& path, const QString&, QWidget* parent) {
        return PaneLayoutLoader::loadFile(path, parent);
    });
    QuorixApp::instance()->init(host.root());
}

AudienceHost::~AudienceHost()
{
    QuorixApp::instance()->unInit();
    QuorixApp::destroyInstance();
}

void AudienceHost::setChannelWindowActive(bool active)
{
    if (active) {
        channel->show();
        QApplication::setActiveWindow(channel.get());
    } else {
        QApplication::setActiveWindow(nullptr);
    }
}

void AudienceHost::ensureApplication()
{
    static int argc = 1;
    static char name[] = "audience_test";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr)
        new QApplication(argc, argv);
}

std::vector<SentRequest> sentRequests(const FakeServiceConnection& connection)
{
    std::vector<SentRequest> requests;
    for (const auto& sent : connection.sent()) {
        const mpak::ServiceFrame frame = mpak::decodeFrame(sent.second);
        requests.push_back({frame.maxType, frame.minType, frame.payload});
    }
    return requests;
}

std::vector<quint32> sentMinorTypes(const FakeServiceConnection& connection)
{
    std::vector<quint32> types;
    for (const SentRequest& request : sentRequests(connection))
        types.push_back(request.minType);
    return types;
}
