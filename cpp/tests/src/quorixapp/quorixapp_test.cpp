// The application root through its two exports: creation, wiring and deletion orders, a missing
// object stopping init, and what a host sees after unloading.

#include "src/quorixapp/entserviceinterface.h"
#include "tests/support/fakehost.h"
#include "logcapture.h"
#include "src/quorixapp/quorixapp.h"
#include "src/quorixapp/quorixprotocol.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QStringList>

#include <string>

extern "C" int onLoadEntAddon(IComponentRoot* root);
extern "C" int onUnLoadEntAddon();

namespace {

const QStringList kCreationOrder = {
    "m_pEntServiceInterface", "m_pEntChannelInterface", "m_pEntUserInterface", "m_pQuorixProtocol",
    "m_pQuorixDataCenter",    "m_pQuorixMainPanel",     "m_pQuorixController", "m_pEntNormalVoteWnd",
    "m_pEntGroupVoteWnd",     "m_pEntJudgeVoteWnd",     "m_pRecordWnd"};

const QStringList kDeletionOrder = {"m_pQuorixController", "m_pQuorixMainPanel",     "m_pRecordWnd",
                                    "m_pQuorixDataCenter", "m_pQuorixProtocol",      "m_pEntChannelInterface",
                                    "m_pEntUserInterface", "m_pEntServiceInterface", "m_pEntNormalVoteWnd",
                                    "m_pEntGroupVoteWnd",  "m_pEntJudgeVoteWnd"};

QObject* owned(const char* field)
{
    for (const auto& held : QuorixApp::instance()->ownedObjects())
        if (std::string(held.first) == field)
            return held.second;
    return nullptr;
}

// True when the protocol listens to the service link (disconnecting finds the connection; it is
// made again at once).
bool protocolWired()
{
    auto* link = qobject_cast<EntServiceInterface*>(owned("m_pEntServiceInterface"));
    auto* protocol = qobject_cast<QuorixProtocol*>(owned("m_pQuorixProtocol"));
    if (link == nullptr || protocol == nullptr)
        return false;
    if (!QObject::disconnect(link, &EntServiceInterface::dataArrivedSignal, protocol,
                             &QuorixProtocol::onDataArrivedSlot))
        return false;
    QObject::connect(link, &EntServiceInterface::dataArrivedSignal, protocol,
                     &QuorixProtocol::onDataArrivedSlot);
    return true;
}

class ApplicationRoot : public ::testing::Test
{
protected:
    void TearDown() override
    {
        QuorixApp::setCreationGate(nullptr);
        onUnLoadEntAddon();
    }

    FakeHost host;
};

TEST_F(ApplicationRoot, CreatesEveryObjectInOrderAndWiresThem)
{
    QStringList created;
    QuorixApp::setCreationGate([&](const char* field) {
        created << field;
        return true;
    });
    EXPECT_EQ(onLoadEntAddon(host.root()), 0);
    EXPECT_EQ(created, kCreationOrder);
    QuorixApp* app = QuorixApp::instance();
    EXPECT_EQ(app->ownedObjects().size(), 11);
    EXPECT_EQ(app->getComRoot(), host.root());
    EXPECT_EQ(app->getChannelInterface(), owned("m_pEntChannelInterface"));
    EXPECT_EQ(app->getUserInterface(), owned("m_pEntUserInterface"));
    EXPECT_EQ(app->getController(), owned("m_pQuorixController"));
    EXPECT_TRUE(protocolWired());
    ASSERT_NE(host.lastConnection(), nullptr); // the service link reached the host
    EXPECT_EQ(host.lastConnection()->serviceType(), 30097);
}

TEST_F(ApplicationRoot, UnloadDeletesInItsOrderAndForgetsEverything)
{
    ASSERT_EQ(onLoadEntAddon(host.root()), 0);
    QStringList deleted;
    for (const auto& held : QuorixApp::instance()->ownedObjects()) {
        const QString field = held.first;
        QObject::connect(held.second, &QObject::destroyed, [&deleted, field] { deleted << field; });
    }
    EXPECT_EQ(onUnLoadEntAddon(), 0);
    EXPECT_EQ(deleted, kDeletionOrder);
    QuorixApp* fresh = QuorixApp::instance();
    EXPECT_EQ(fresh->getComRoot(), nullptr);
    EXPECT_EQ(fresh->getChannelInterface(), nullptr);
    EXPECT_EQ(fresh->getUserInterface(), nullptr);
    EXPECT_EQ(fresh->getController(), nullptr);
    EXPECT_TRUE(fresh->ownedObjects().isEmpty());
}

TEST_F(ApplicationRoot, UnloadGivesBackEveryHostReferenceAndConnection)
{
    ASSERT_EQ(onLoadEntAddon(host.root()), 0);
    onUnLoadEntAddon();
    EXPECT_EQ(host.serviceRefCount(), 0);
    EXPECT_EQ(host.refCount(), 0);
    EXPECT_EQ(host.channel().subChannelSwitchedSignal().slotCount(), 0);
    EXPECT_EQ(host.channel().myChannelInfoChangedSignal().slotCount(), 0);
    EXPECT_EQ(host.buddies().userInfoSignal().slotCount(), 0);
    ASSERT_NE(host.lastConnection(), nullptr);
    EXPECT_EQ(host.lastConnection()->dataSlots(), 0);
}

TEST_F(ApplicationRoot, UnloadWithoutLoadReturnsZero)
{
    fenbase::LogCapture capture;
    EXPECT_EQ(onUnLoadEntAddon(), 0);
    EXPECT_EQ(onUnLoadEntAddon(), 0);
    EXPECT_TRUE(QuorixApp::instance()->ownedObjects().isEmpty());
    EXPECT_TRUE(capture.records().empty());
}

TEST_F(ApplicationRoot, MissingObjectStopsInitWithItsMessage)
{
    for (int failing = 0; failing < kCreationOrder.size(); ++failing) {
        const QString missing = kCreationOrder[failing];
        FakeHost fresh;
        QuorixApp::setCreationGate([&](const char* field) { return missing != field; });
        fenbase::LogCapture capture;
        onLoadEntAddon(fresh.root());
        const bool bridgeMissing = failing < 3;
        EXPECT_EQ(capture.count(("!" + missing).toStdString()), 1) << missing.toStdString();
        for (const auto& record : capture.records()) {
            if (record.text == ("!" + missing).toStdString()) {
                EXPECT_EQ(record.function, "QuorixApp::init");
            }
        }
        // Objects of the failing group exist except the missing one; nothing after it.
        const int expected = bridgeMissing ? 2 : 10;
        EXPECT_EQ(QuorixApp::instance()->ownedObjects().size(), expected) << missing.toStdString();
        EXPECT_EQ(owned(missing.toLatin1().constData()), nullptr);
        // Bridges are initialised only when all three exist; parts are never wired.
        EXPECT_EQ(fresh.lastConnection() != nullptr, !bridgeMissing) << missing.toStdString();
        EXPECT_FALSE(protocolWired()) << missing.toStdString();
        EXPECT_TRUE(fresh.addonBox().createCalls().empty()) << missing.toStdString();
        onUnLoadEntAddon();
        EXPECT_EQ(fresh.serviceRefCount(), 0) << missing.toStdString();
    }
}

TEST_F(ApplicationRoot, NullRootLetsEachBridgeLogAndTheRestIsBuilt)
{
    fenbase::LogCapture capture;
    EXPECT_EQ(onLoadEntAddon(nullptr), 0);
    EXPECT_EQ(capture.count("EntServiceInterface init:comRootPtr is NULL"), 1);
    EXPECT_EQ(capture.count("EntChannelInterface comRootPtr is NULL"), 1);
    EXPECT_EQ(capture.count("EntUserInterface comRootPtr is NULL"), 1);
    EXPECT_EQ(QuorixApp::instance()->ownedObjects().size(), 11);
    EXPECT_TRUE(protocolWired());
}

TEST_F(ApplicationRoot, SecondLoadReplacesTheFirstObjects)
{
    ASSERT_EQ(onLoadEntAddon(host.root()), 0);
    QPointer<QObject> firstController = owned("m_pQuorixController");
    QPointer<QObject> firstLink = owned("m_pEntServiceInterface");
    ASSERT_EQ(onLoadEntAddon(host.root()), 0);
    EXPECT_TRUE(firstController.isNull());
    EXPECT_TRUE(firstLink.isNull());
    EXPECT_EQ(QuorixApp::instance()->ownedObjects().size(), 11);
    EXPECT_EQ(host.connections().front()->refCount(), 0);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
