// The entry component linked as the host would find it beside the real application library:
// the helper's own messages, and full load and unload cycles of the application.

#include "src/quorix/entaddonhelper.h"
#include "src/quorix/entryapi.h"
#include "tests/support/fakehost.h"
#include "logcapture.h"
#include "serviceids.h"
#include "winapi.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

namespace {

IQuorix* entryComponent()
{
    void* out = nullptr;
    createComInstance("com.tovo.quorix", nullptr, &out);
    return static_cast<IQuorix*>(out);
}

void fireLoadTimer()
{
    QTimer* timer = EntryApi::processInstance()->loadTimer();
    timer->stop();
    QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
}

TEST(EntAddonHelperMessages, MissingEntryOrRootIsLoggedAndTheStepAbandoned)
{
    EntryApi* api = EntryApi::processInstance();
    ASSERT_EQ(api->getComRoot(), nullptr);
    const struct
    {
        const char* name;
        bool unInitFirst;
        EntryApi* given;
        const char* message;
        const char* function;
    } cases[] = {
        {"init without entry", false, nullptr, "EntryApi is NULL", "EntAddonHelper::init"},
        {"init without root", false, api, "ComRoot is NULL", "EntAddonHelper::init"},
        {"unInit without entry", true, nullptr, "unInit EntryApi is NULL", "EntAddonHelper::unInit"},
        {"unInit without root", true, api, "unInit ComRoot is NULL", "EntAddonHelper::unInit"},
    };
    for (const auto& c : cases) {
        EntAddonHelper helper;
        if (c.unInitFirst) {
            helper.init(c.given);
            fenbase::LogCapture capture;
            helper.unInit();
            ASSERT_EQ(capture.records().size(), 1u) << c.name;
            EXPECT_EQ(capture.records()[0].text, c.message);
            EXPECT_EQ(capture.records()[0].function, c.function);
            continue;
        }
        fenbase::LogCapture capture;
        helper.init(c.given);
        ASSERT_EQ(capture.records().size(), 1u) << c.name;
        EXPECT_EQ(capture.records()[0].text, c.message);
        EXPECT_EQ(capture.records()[0].function, c.function);
    }
}

TEST(EntAddonHelperMessages, RunTimeCastsAnswerBothBases)
{
    EntAddonHelper helper;
    EXPECT_EQ(helper.qt_metacast("EntAddonHelper"), &helper);
    EXPECT_EQ(helper.qt_metacast("relay::trackable"), static_cast<relay::trackable*>(&helper));
}

TEST(EntryWithApplication, LoadsBuildsAndUnloadsTheApplicationRepeatedly)
{
    IQuorix* entry = entryComponent();
    ASSERT_NE(entry, nullptr);
    for (int round = 1; round <= 2; ++round) {
        FakeHost host;
        fenbase::LogCapture capture;
        ASSERT_TRUE(entry->onLoad(host.root()));
        fireLoadTimer();
        EXPECT_FALSE(capture.contains("load tha app dll fail")) << round;
        EXPECT_NE(GetModuleHandleW(L"quorixapp.dll"), nullptr) << round;
        ASSERT_EQ(host.connections().size(), 1u) << round;
        EXPECT_EQ(host.lastConnection()->serviceType(), 30097) << round;
        EXPECT_GT(host.getServiceCalls(hostsdk::kImGroupService), 0) << round;
        EXPECT_TRUE(entry->onUnLoad());
        EXPECT_EQ(host.serviceRefCount(), 0) << round;
        EXPECT_EQ(host.refCount(), 0) << round;
        EXPECT_EQ(GetModuleHandleW(L"quorixapp.dll"), nullptr) << round;
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
