// The entry component as the host sees it: a copy of the component library is loaded from a
// scratch directory, created by id and loaded with a fake host root; stand-in application
// libraries placed beside it show what the loader does with them.

#include "componentfactory.h"
#include "tests/support/fakehost.h"
#include "iquorix.h"
#include "logcapture.h"
#include "serviceids.h"
#include "winapi.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <string>

namespace {

QString binDirectory()
{
    return QCoreApplication::applicationDirPath();
}

// The component copy and its directory, shared by every test (the component's object lives as
// long as the process).
class EntryComponent
{
public:
    static EntryComponent& get()
    {
        static EntryComponent component;
        return component;
    }

    bool ready() const { return m_factory != nullptr; }
    CreateComInstanceFunction factory() const { return m_factory; }
    QString dir() const { return m_dir.path(); }

    IQuorix* entry()
    {
        void* out = nullptr;
        m_factory("com.tovo.quorix", nullptr, &out);
        return static_cast<IQuorix*>(out);
    }

    // The component object and its load timer, found once (asking the factory again logs).
    QObject* object() const { return m_object; }
    QTimer* timer() const { return m_timer; }

    // Places a stand-in application library ("full", "noload", "nounload") beside the component,
    // or removes it with an empty variant.
    bool installApp(const QString& variant)
    {
        const QString target = m_dir.filePath("libquorixapp.so");
        QFile::remove(target);
        if (variant.isEmpty())
            return true;
        return QFile::copy(binDirectory() + "/libentryfakeapp_" + variant + ".so", target);
    }

private:
    EntryComponent()
    {
        const QString copy = m_dir.filePath("libquorix.so");
        QFile::copy(binDirectory() + "/libquorix.so", copy);
        const std::wstring path = QDir::toNativeSeparators(copy).replace('/', '\\').toStdWString();
        m_library = LoadLibraryW(path.c_str());
        m_factory =
            reinterpret_cast<CreateComInstanceFunction>(GetProcAddress(m_library, "createComInstance"));
        if (m_factory == nullptr)
            return;
        m_entry = entry();
        m_object = dynamic_cast<QObject*>(m_entry);
        QMetaObject::invokeMethod(m_object, "loadTimer", Qt::DirectConnection,
                                  Q_RETURN_ARG(QTimer*, m_timer));
    }

    QTemporaryDir m_dir;
    HMODULE m_library = nullptr;
    CreateComInstanceFunction m_factory = nullptr;
    IQuorix* m_entry = nullptr;
    QObject* m_object = nullptr;
    QTimer* m_timer = nullptr;
};

bool appLoaded()
{
    return GetModuleHandleW(L"quorixapp.dll") != nullptr;
}

// Fires the load timer at once, as its expiry would.
void fireLoadTimer()
{
    QTimer* timer = EntryComponent::get().timer();
    timer->stop();
    QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
}

std::string rootText(IComponentRoot* root)
{
    return std::to_string(reinterpret_cast<std::uintptr_t>(root));
}

void invoke(const char* slot, quint32 value)
{
    QMetaObject::invokeMethod(EntryComponent::get().object(), slot, Qt::DirectConnection,
                              Q_ARG(quint32, value));
}

class EntryLoader : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(EntryComponent::get().ready());
        ASSERT_FALSE(appLoaded());
        entry = EntryComponent::get().entry();
        ASSERT_NE(EntryComponent::get().timer(), nullptr);
    }
    void TearDown() override
    {
        entry->onUnLoad();
        EntryComponent::get().installApp(QString());
        while (HMODULE left = GetModuleHandleW(L"quorixapp.dll"))
            FreeLibrary(left);
    }

    FakeHost host;
    IQuorix* entry = nullptr;
};

TEST(EntryFactory, OtherComponentIdsFailSilently)
{
    ASSERT_TRUE(EntryComponent::get().ready());
    fenbase::LogCapture capture;
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(EntryComponent::get().factory()("com.tovo.other", nullptr, &out), E_FAIL);
    EXPECT_EQ(EntryComponent::get().factory()(nullptr, nullptr, &out), E_FAIL);
    EXPECT_EQ(out, reinterpret_cast<void*>(0x1));
    EXPECT_TRUE(capture.records().empty());
}

TEST(EntryFactory, ResultCodesAfterTheLoadMessage)
{
    ASSERT_TRUE(EntryComponent::get().ready());
    CreateComInstanceFunction factory = EntryComponent::get().factory();
    FakeHost outer;
    void* out = nullptr;
    const std::string sameText = "com.tovo.quorix";
    const struct
    {
        const char* name;
        IUnk* outer;
        void** out;
        HRESULT expected;
    } cases[] = {
        {"aggregating", outer.unknown(), &out, CLASS_E_NOAGGREGATION},
        {"no out-pointer", nullptr, nullptr, E_POINTER},
        {"created", nullptr, &out, S_OK},
    };
    for (const auto& c : cases) {
        fenbase::LogCapture capture;
        EXPECT_EQ(factory(sameText.c_str(), c.outer, c.out), c.expected) << c.name;
        ASSERT_EQ(capture.records().size(), 1u) << c.name;
        EXPECT_EQ(capture.records()[0].text, "quorix.dll has been load");
        EXPECT_EQ(capture.records()[0].function, "createComInstance");
        EXPECT_EQ(capture.records()[0].level, 1);
    }
    EXPECT_NE(out, nullptr);
}

TEST(EntryFactory, EveryCallGivesTheSameObjectAnsweringItsThreeInterfaces)
{
    ASSERT_TRUE(EntryComponent::get().ready());
    IQuorix* first = EntryComponent::get().entry();
    IQuorix* second = EntryComponent::get().entry();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    for (const InterfaceId& iid : {IUnk::iid(), IQuorix::iid(), IFenComponentEntry::iid()}) {
        void* view = nullptr;
        EXPECT_TRUE(first->queryInterface(iid, &view)) << iid.name;
        EXPECT_EQ(view, first) << iid.name;
    }
    void* view = reinterpret_cast<void*>(0x1);
    EXPECT_FALSE(first->queryInterface(ITovoBuddyList::iid(), &view));
    EXPECT_EQ(view, nullptr);
    EXPECT_EQ(first->reservedOperation(), 0);
    QObject* object = dynamic_cast<QObject*>(first);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->qt_metacast("EntryApi"), object);
    EXPECT_EQ(object->qt_metacast("IQuorix"), static_cast<void*>(first));
}

TEST_F(EntryLoader, NullRootIsRefusedWithoutArming)
{
    fenbase::LogCapture capture;
    EXPECT_FALSE(entry->onLoad(nullptr));
    EXPECT_FALSE(EntryComponent::get().timer()->isActive());
    ASSERT_EQ(capture.records().size(), 1u);
    EXPECT_EQ(capture.records()[0].text, "root is null!");
    EXPECT_EQ(capture.records()[0].function, "EntryApi::onLoad");
}

TEST_F(EntryLoader, LoadArmsASingleShotTimerOfFiveSecondsAndLooksAtTheChannelService)
{
    ASSERT_TRUE(entry->onLoad(host.root()));
    QTimer* timer = EntryComponent::get().timer();
    EXPECT_TRUE(timer->isActive());
    EXPECT_TRUE(timer->isSingleShot());
    EXPECT_EQ(timer->interval(), 5000);
    EXPECT_EQ(host.getServiceCalls(hostsdk::kChannelService), 2);
    EXPECT_EQ(host.serviceRefCount(), 0);
}

TEST_F(EntryLoader, TimerFiringLoadsTheLibraryBesideTheComponentWithTheRoot)
{
    ASSERT_TRUE(EntryComponent::get().installApp("full"));
    fenbase::LogCapture capture;
    ASSERT_TRUE(entry->onLoad(host.root()));
    fireLoadTimer();
    EXPECT_EQ(capture.count("onLoadEntAddon " + rootText(host.root())), 1);
    EXPECT_TRUE(appLoaded());
    EXPECT_TRUE(entry->onUnLoad());
    EXPECT_EQ(capture.count("onUnLoadEntAddon"), 1);
    EXPECT_FALSE(appLoaded());
}

TEST_F(EntryLoader, RealTimerLoadsAfterFiveSeconds)
{
    ASSERT_TRUE(EntryComponent::get().installApp("full"));
    fenbase::LogCapture capture;
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(entry->onLoad(host.root()));
    QSignalSpy fired(EntryComponent::get().timer(), &QTimer::timeout);
    EXPECT_TRUE(fired.wait(7000));
    EXPECT_GE(clock.elapsed(), 4750); // a coarse Qt timer may fire up to 5% early
    EXPECT_EQ(capture.count("onLoadEntAddon " + rootText(host.root())), 1);
}

TEST_F(EntryLoader, UnloadBeforeTheTimerNeverLoadsAndWritesNothing)
{
    ASSERT_TRUE(EntryComponent::get().installApp("full"));
    fenbase::LogCapture capture;
    ASSERT_TRUE(entry->onLoad(host.root()));
    const int lookups = host.getServiceCalls(hostsdk::kChannelService);
    EXPECT_TRUE(entry->onUnLoad());
    EXPECT_FALSE(EntryComponent::get().timer()->isActive());
    QCoreApplication::processEvents();
    EXPECT_FALSE(appLoaded());
    EXPECT_TRUE(capture.records().empty());
    // The helper was unInit'ed (it looks at the services again) and the root forgotten.
    EXPECT_EQ(host.getServiceCalls(hostsdk::kChannelService), lookups + 2);
    EXPECT_EQ(host.serviceRefCount(), 0);
}

TEST_F(EntryLoader, LoadFailuresAreLoggedWithTheirCodes)
{
    const struct
    {
        const char* variant;
        const char* message;
        bool staysLoaded;
    } cases[] = {
        {"", "Load quorixapp.dll library fail!!! LastErrorCode:126", false},
        {"noload", "Get onLoadEntAddon address fail!!! LastErrorCode:127", true},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(EntryComponent::get().installApp(c.variant));
        fenbase::LogCapture capture;
        ASSERT_TRUE(entry->onLoad(host.root()));
        fireLoadTimer();
        const auto records = capture.records();
        ASSERT_EQ(records.size(), 2u) << c.variant;
        EXPECT_EQ(records[0].text, c.message);
        EXPECT_EQ(records[0].function, "EntryApi::LoadAddonLibrary");
        EXPECT_EQ(records[1].text, "load tha app dll fail");
        EXPECT_EQ(records[1].function, "EntryApi::onCheckAppDllLoad");
        EXPECT_EQ(appLoaded(), c.staysLoaded) << c.variant;
        entry->onUnLoad();
        EXPECT_FALSE(appLoaded()) << c.variant; // the stand-in's unload export frees it
    }
}

TEST_F(EntryLoader, MissingUnloadExportKeepsTheLibraryAndStillUnloads)
{
    ASSERT_TRUE(EntryComponent::get().installApp("nounload"));
    ASSERT_TRUE(entry->onLoad(host.root()));
    fireLoadTimer();
    ASSERT_TRUE(appLoaded());
    fenbase::LogCapture capture;
    EXPECT_TRUE(entry->onUnLoad());
    ASSERT_EQ(capture.records().size(), 1u);
    EXPECT_EQ(capture.records()[0].text, "Get onUnLoadEntAddon address fail!!! LastErrorCode:127");
    EXPECT_EQ(capture.records()[0].function, "EntryApi::unLoadAddonLibrary");
    EXPECT_TRUE(appLoaded());
}

TEST_F(EntryLoader, LibraryAlreadyInTheProcessIsNotLoadedAgain)
{
    ASSERT_TRUE(EntryComponent::get().installApp("full"));
    const std::wstring path =
        QDir(EntryComponent::get().dir()).filePath("quorixapp.dll").replace('/', '\\').toStdWString();
    ASSERT_NE(LoadLibraryW(path.c_str()), nullptr);
    fenbase::LogCapture capture;
    ASSERT_TRUE(entry->onLoad(host.root()));
    fireLoadTimer();
    const auto records = capture.records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].text, "Do not load quorixapp.dll again!!!");
    EXPECT_EQ(records[1].text, "load tha app dll fail");
}

TEST_F(EntryLoader, RetriggerSlotsLoadOnlyWhileTheTimerIsIdle)
{
    ASSERT_TRUE(EntryComponent::get().installApp(""));
    fenbase::LogCapture capture;
    ASSERT_TRUE(entry->onLoad(host.root()));
    invoke("onAddonAddSignal", 0);
    invoke("onSubChannelChangedSignal", 3);
    EXPECT_EQ(capture.count("load tha app dll fail"), 0); // timer still running
    fireLoadTimer();
    EXPECT_EQ(capture.count("load tha app dll fail"), 1);
    invoke("onAddonAddSignal", 5);
    EXPECT_EQ(capture.count("load tha app dll fail"), 1);
    ASSERT_TRUE(EntryComponent::get().installApp("full"));
    invoke("onAddonAddSignal", 0);
    EXPECT_EQ(capture.count("onLoadEntAddon " + rootText(host.root())), 1);
    entry->onUnLoad();
    ASSERT_TRUE(entry->onLoad(host.root()));
    fireLoadTimer();
    invoke("onSubChannelChangedSignal", 9);
    EXPECT_EQ(capture.count("Do not load quorixapp.dll again!!!"), 1);
}

TEST_F(EntryLoader, SecondLoadReplacesTheHelperAndRestartsTheTimer)
{
    ASSERT_TRUE(entry->onLoad(host.root()));
    FakeHost other;
    ASSERT_TRUE(entry->onLoad(other.root()));
    // The first helper was unInit'ed against the first root before the second was made.
    EXPECT_EQ(host.getServiceCalls(hostsdk::kChannelService), 4);
    EXPECT_EQ(other.getServiceCalls(hostsdk::kChannelService), 2);
    EXPECT_TRUE(EntryComponent::get().timer()->isActive());
    entry->onUnLoad(); // while the second root is still alive
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
