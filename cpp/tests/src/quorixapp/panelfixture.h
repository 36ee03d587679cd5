#pragma once

// A management window wired to the real controller, protocol and service link over the fake
// host: the window is built from the bundled layout through the host's UI creator, and every
// request the window makes is read back as the frame the service link handed to the host.

#include "src/quorixapp/entserviceinterface.h"
#include "tests/support/fakehost.h"
#include "src/quorixapp/quorixapp.h"
#include "src/quorixapp/quorixcontroller.h"
#include "src/quorixapp/quorixmainpanel.h"
#include "src/quorixapp/quorixprotocol.h"
#include "src/quorixapp/recordwnd.h"

#include <quorix/protocol/serviceframe.h>
#include <quorix/protocol/votemessages.h>

#include <panefind.h>
#include <paneframewindow.h>
#include <panelayoutloader.h>
#include <panemessagebox.h>

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

inline QApplication* managementTestApp()
{
    static int argc = 1;
    static char name[] = "management_test";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = new QApplication(argc, argv);
    return instance;
}

class PanelFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        managementTestApp();
        host = std::make_unique<FakeHost>();
        host->setConnectionsReady(true);
        channelWindow = std::make_unique<QWidget>();
        host->channel().setWidget(channelWindow.get());
        host->channel().setChannelId(888);
        host->channel().setSubChannelId(889);
        host->uiCreator().setFactory([](const QString& path, const QString&, QWidget* parent) {
            return PaneLayoutLoader::loadFile(path, parent);
        });
        QuorixApp::instance()->init(host->root());

        link = std::make_unique<EntServiceInterface>();
        link->init(IComponentRootPtr(host->root()));
        connection = host->lastConnection();
        protocol = std::make_unique<QuorixProtocol>();
        protocol->init(link.get(), QuorixApp::instance()->getChannelInterface(),
                       QuorixApp::instance()->getUserInterface());
        controller = std::make_unique<QuorixController>();
        panel = std::make_unique<QuorixMainPanel>();
        records = std::make_unique<recordWnd>();
        controller->init(protocol.get(), panel.get(), nullptr, nullptr, nullptr, nullptr, records.get());
        panel->init(controller.get());
        records->init(controller.get());
        ASSERT_NE(panel->window(), nullptr);
        ASSERT_NE(connection, nullptr);
        connection->clearSent();
    }

    void TearDown() override
    {
        takeWarning();
        records.reset();
        panel.reset();
        controller.reset();
        protocol.reset();
        link.reset();
        QuorixApp::instance()->unInit();
        host.reset();
    }

    template <class T> T* find(const char* name) const
    {
        return panefw::findChild<T>(panel->window(), QString::fromUtf8(name));
    }
    template <class T> T* findIn(const char* pageName, const char* name) const
    {
        auto* page = find<PaneWidget>(pageName);
        return page ? panefw::findChild<T>(page, QString::fromUtf8(name)) : nullptr;
    }

    // The requests sent since the last call, decoded from their frames.
    std::vector<mpak::ServiceFrame> takeSent()
    {
        std::vector<mpak::ServiceFrame> frames;
        for (const auto& sent : connection->sent())
            frames.push_back(mpak::decodeFrame(sent.second));
        connection->clearSent();
        return frames;
    }
    std::vector<quint32> takeMinorTypes()
    {
        std::vector<quint32> types;
        for (const auto& frame : takeSent())
            types.push_back(frame.minType);
        return types;
    }
    template <class Body> Body takeOnly(quint32 minType)
    {
        Body body;
        const auto frames = takeSent();
        EXPECT_EQ(frames.size(), 1u);
        if (frames.size() == 1) {
            EXPECT_EQ(frames[0].minType, minType);
            EXPECT_TRUE(mpak::decode(frames[0].payload, body));
        }
        return body;
    }

    // The text of the warning box shown last (closing it), or an empty text.
    QString takeWarning()
    {
        PaneMessageBox* box = PaneMessageBox::lastBox();
        if (!box)
            return QString();
        const QString text = box->text();
        box->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return text;
    }

    void setVotes(const quorix::VoteList& votes)
    {
        quorix::PQueryAllVoteRes res;
        res.votes = votes;
        controller->onResQueryAllVote(res);
    }

    std::unique_ptr<FakeHost> host;
    std::unique_ptr<QWidget> channelWindow;
    std::unique_ptr<EntServiceInterface> link;
    FakeServiceConnection* connection = nullptr;
    std::unique_ptr<QuorixProtocol> protocol;
    std::unique_ptr<QuorixController> controller;
    std::unique_ptr<QuorixMainPanel> panel;
    std::unique_ptr<recordWnd> records;
};

inline quorix::VoteInfo normalVote(quint32 id, const char* name, std::vector<const char*> options)
{
    quorix::VoteInfo vote;
    vote.voteId = id;
    vote.name = name;
    vote.voteType = quorix::kNormalVote;
    vote.limitTime = 300;
    vote.limits = {{0, 3}, {1, 2}};
    for (std::size_t i = 0; i < options.size(); ++i)
        vote.options[quint32(i)] = options[i];
    return vote;
}
