// The service link against a fake host connection: set-up, connection states, framing in both
// directions and hostile frames.

#include "src/quorixapp/entserviceinterface.h"
#include "tests/support/fakehost.h"
#include "logcapture.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <memory>
#include <string>

Q_DECLARE_METATYPE(std::string)

namespace {

std::string frame(quint32 maxType, quint32 minType, const std::string& declaredPayload,
                  int declaredLength = -1)
{
    std::string bytes;
    auto push32 = [&](quint32 v) {
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    push32(maxType);
    push32(minType);
    const auto n = static_cast<quint16>(declaredLength < 0 ? declaredPayload.size() : declaredLength);
    bytes += static_cast<char>(n & 0xFF);
    bytes += static_cast<char>(n >> 8);
    return bytes + declaredPayload;
}

class ServiceLink : public ::testing::Test
{
protected:
    void SetUp() override { qRegisterMetaType<std::string>("std::string"); }

    FakeServiceConnection& initLink(bool ready)
    {
        host.setConnectionsReady(ready);
        link->init(IComponentRootPtr(host.root()));
        return *host.lastConnection();
    }

    FakeHost host;
    std::unique_ptr<EntServiceInterface> link = std::make_unique<EntServiceInterface>();
};

TEST_F(ServiceLink, InitSetsTheServiceTypeAndConnectsWithoutOpeningWhileNotReady)
{
    QSignalSpy ready(link.get(), &EntServiceInterface::serviceReadySignal);
    FakeServiceConnection& connection = initLink(false);
    EXPECT_EQ(connection.serviceType(), 30097);
    EXPECT_EQ(connection.isReadyCalls(), 1);
    EXPECT_EQ(connection.openCount(), 0);
    EXPECT_EQ(connection.dataSlots(), 1);
    EXPECT_EQ(ready.count(), 0);
    EXPECT_EQ(link->connectionId(), EntServiceInterface::kNoConnection);
    EXPECT_EQ(host.refCount(), 0); // the root reference was given back
}

TEST_F(ServiceLink, ReadyDuringInitOpensAndAnnouncesBeforeInitReturns)
{
    QSignalSpy ready(link.get(), &EntServiceInterface::serviceReadySignal);
    FakeServiceConnection& connection = initLink(true);
    EXPECT_EQ(ready.count(), 1);
    EXPECT_EQ(connection.openCount(), 1);
    EXPECT_EQ(connection.lastOpenKind(), 1);
    EXPECT_EQ(link->connectionId(), 1u);
}

TEST_F(ServiceLink, SetUpFailuresAreLoggedAndLeaveSendingInert)
{
    const struct
    {
        const char* name;
        bool nullRoot;
        int createResult;
        const char* message;
    } cases[] = {
        {"no root", true, 0, "EntServiceInterface init:comRootPtr is NULL"},
        {"create fails", false, 5, "servicePtr is NULL!"},
    };
    for (const auto& c : cases) {
        FakeHost failing;
        failing.setCreateInstanceResult(c.createResult);
        EntServiceInterface bridge;
        fenbase::LogCapture capture;
        bridge.init(c.nullRoot ? IComponentRootPtr() : IComponentRootPtr(failing.root()));
        ASSERT_EQ(capture.records().size(), 1u) << c.name;
        EXPECT_EQ(capture.records()[0].text, c.message) << c.name;
        EXPECT_EQ(capture.records()[0].function, "EntServiceInterface::init") << c.name;
        bridge.sendData(2500, 1, "x");
        EXPECT_EQ(capture.records().size(), 1u) << c.name; // no "Sendmsg" line either
        EXPECT_EQ(failing.refCount(), 0) << c.name;
    }
}

TEST_F(ServiceLink, ReadyWithoutConnectionObjectIsLogged)
{
    fenbase::LogCapture capture;
    link->onServiceReady();
    ASSERT_EQ(capture.records().size(), 1u);
    EXPECT_EQ(capture.records()[0].text, "EntServiceHeper servicePtr is NULL");
    EXPECT_EQ(capture.records()[0].function, "EntServiceInterface::onServiceReady");
    EXPECT_EQ(link->connectionId(), EntServiceInterface::kNoConnection);
}

TEST_F(ServiceLink, ConnectionObjectWithoutTheInterfaceIsReleasedAndLogged)
{
    host.setConnectionsReady(false);
    // Make the next connection object refuse the interface by hiding it on creation.
    struct HidingHost : FakeHost
    {
        int createInstance(const char* id, IUnk* context, IUnk** out) override
        {
            const int result = FakeHost::createInstance(id, context, out);
            if (lastConnection() != nullptr)
                lastConnection()->hideInterface(ITovoServiceConnectionEx::iid());
            return result;
        }
    } hiding;
    fenbase::LogCapture capture;
    link->init(IComponentRootPtr(hiding.root()));
    EXPECT_EQ(capture.count("servicePtr is NULL!"), 1);
    ASSERT_NE(hiding.lastConnection(), nullptr);
    EXPECT_EQ(hiding.lastConnection()->refCount(), 0);
}

TEST_F(ServiceLink, SecondReadyKeepsTheConnectionAndFailedOpenIsLogged)
{
    FakeServiceConnection& connection = initLink(true);
    fenbase::LogCapture capture;
    connection.fireReady();
    EXPECT_EQ(capture.count("EntService has connect!!!Don't repeat again!!!"), 1);
    EXPECT_EQ(connection.openCount(), 1);

    EntServiceInterface second;
    host.setConnectionsReady(false);
    second.init(IComponentRootPtr(host.root()));
    QSignalSpy ready(&second, &EntServiceInterface::serviceReadySignal);
    host.lastConnection()->setNextConnectionId(EntServiceInterface::kNoConnection);
    host.lastConnection()->fireReady();
    EXPECT_EQ(capture.count("EntServiceHeper connid is invalid"), 1);
    EXPECT_EQ(ready.count(), 0);
}

TEST_F(ServiceLink, ClosingOnlyForgetsItsOwnConnectionAndReadyReopens)
{
    FakeServiceConnection& connection = initLink(true);
    QSignalSpy ready(link.get(), &EntServiceInterface::serviceReadySignal);
    fenbase::LogCapture capture;
    connection.fireConnectionClosed(77);
    EXPECT_EQ(link->connectionId(), 1u);
    connection.fireServiceClosed();
    EXPECT_EQ(link->connectionId(), 1u);
    connection.fireConnectionClosed(1);
    EXPECT_EQ(link->connectionId(), EntServiceInterface::kNoConnection);
    EXPECT_EQ(capture.count("service connection close"), 3);
    connection.fireReady();
    EXPECT_EQ(link->connectionId(), 2u);
    EXPECT_EQ(ready.count(), 1);
}

TEST_F(ServiceLink, IncomingFramesOfItsConnectionAreUnwrapped)
{
    FakeServiceConnection& connection = initLink(true);
    QSignalSpy data(link.get(), &EntServiceInterface::dataArrivedSignal);
    connection.deliver(1, frame(2500, 29, "abc"));
    connection.deliver(1, frame(2500, 6, ""));
    connection.deliver(1, frame(2500, 27, "xy") + "trailing");
    connection.deliver(2, frame(2500, 27, "other connection"));
    ASSERT_EQ(data.count(), 3);
    EXPECT_EQ(data[0][0].toUInt(), 2500u);
    EXPECT_EQ(data[0][1].toUInt(), 29u);
    EXPECT_EQ(data[0][2].value<std::string>(), "abc");
    EXPECT_EQ(data[1][2].value<std::string>(), "");
    EXPECT_EQ(data[2][2].value<std::string>(), "xy");
}

TEST_F(ServiceLink, MalformedFramesAreLoggedAndDropped)
{
    FakeServiceConnection& connection = initLink(true);
    QSignalSpy data(link.get(), &EntServiceInterface::dataArrivedSignal);
    const struct
    {
        const char* name;
        std::string bytes;
        const char* error;
    } cases[] = {
        {"empty", "", "pop_uint32: not enough data"},
        {"half a header", frame(2500, 6, "").substr(0, 6), "pop_uint32: not enough data"},
        {"no length", frame(2500, 6, "").substr(0, 9), "pop_uint16: not enough data"},
        {"payload shorter than declared", frame(2500, 6, "abc", 10), "pop_fetch_ptr: not enough data"},
    };
    for (const auto& c : cases) {
        fenbase::LogCapture capture;
        connection.deliver(1, c.bytes);
        ASSERT_EQ(capture.records().size(), 1u) << c.name;
        EXPECT_EQ(capture.records()[0].level, 1) << c.name;
        EXPECT_EQ(capture.records()[0].function, "EntServiceInterface::onDataArrived") << c.name;
        EXPECT_NE(capture.records()[0].text.find(c.error), std::string::npos) << capture.records()[0].text;
    }
    EXPECT_EQ(data.count(), 0);
}

TEST_F(ServiceLink, OutgoingFramesCarryTypesLengthAndPayload)
{
    FakeServiceConnection& connection = initLink(true);
    fenbase::LogCapture capture;
    const std::string payload(300, 'p');
    link->sendData(2500, 15, payload);
    ASSERT_EQ(connection.sent().size(), 1u);
    EXPECT_EQ(connection.sent()[0].first, 1u);
    const std::string& bytes = connection.sent()[0].second;
    ASSERT_EQ(bytes.size(), 310u);
    EXPECT_EQ(bytes.substr(0, 10), std::string("\xC4\x09\x00\x00\x0F\x00\x00\x00\x2C\x01", 10));
    EXPECT_EQ(bytes.substr(10), payload);
    EXPECT_EQ(capture.count("Sendmsg: maxType = 2500 minType = 15"), 1);
}

TEST_F(ServiceLink, SendingWithoutConnectionStillHandsTheFrameOverWithTheInvalidId)
{
    FakeServiceConnection& connection = initLink(false);
    link->sendData(2500, 28, "");
    ASSERT_EQ(connection.sent().size(), 1u);
    EXPECT_EQ(connection.sent()[0].first, EntServiceInterface::kNoConnection);
    EXPECT_EQ(connection.sent()[0].second.size(), 10u);
}

TEST_F(ServiceLink, PayloadTooLargeToFrameIsLoggedAndNotSent)
{
    FakeServiceConnection& connection = initLink(true);
    fenbase::LogCapture capture;
    link->sendData(2500, 1, std::string(65536, 'x'));
    EXPECT_TRUE(connection.sent().empty());
    EXPECT_TRUE(capture.contains("push_varstr: szMsg too big"));
    link->sendData(2500, 1, std::string(65535, 'x'));
    ASSERT_EQ(connection.sent().size(), 1u);
    EXPECT_EQ(connection.sent()[0].second.size(), 65545u);
}

TEST_F(ServiceLink, DestructionReleasesTheConnectionAndEndsItsHostSignals)
{
    FakeServiceConnection& connection = initLink(true);
    EXPECT_EQ(connection.refCount(), 1);
    link.reset();
    EXPECT_EQ(connection.refCount(), 0);
    EXPECT_EQ(connection.dataSlots(), 0);
    EXPECT_EQ(connection.readySlots(), 0);
    connection.deliver(1, frame(2500, 6, "late"));
    connection.fireReady();
}

} // namespace
