// Relay signals, the log sink and capture, and property ids of the base library.

#include "fenlog.h"
#include "logcapture.h"
#include "nameid.h"
#include "relay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

class Listener : public relay::trackable
{
public:
    explicit Listener(std::vector<std::string>* calls, std::string name)
        : m_calls(calls), m_name(std::move(name))
    {}

    void onNone() { m_calls->push_back(m_name); }
    void onText(std::string text) { m_calls->push_back(m_name + ":" + text); }
    void onPair(unsigned id, const std::string& text)
    {
        m_calls->push_back(m_name + ":" + std::to_string(id) + text);
    }

private:
    std::vector<std::string>* m_calls;
    std::string m_name;
};

class DerivedListener : public Listener
{
public:
    using Listener::Listener;
};

TEST(RelaySignal, CallsEverySlotInConnectionOrderWithTheSameArguments)
{
    std::vector<std::string> calls;
    Listener a(&calls, "a"), b(&calls, "b");
    relay::signal1<std::string> sig;
    sig.connect(&a, &Listener::onText);
    sig.connect(&b, &Listener::onText);
    sig.fire(std::string(64, 'x')); // long enough that a moved-from copy would show up empty
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], "a:" + std::string(64, 'x'));
    EXPECT_EQ(calls[1], "b:" + std::string(64, 'x'));
}

TEST(RelaySignal, ShapesWithZeroAndTwoArgumentsAndInheritedMembers)
{
    std::vector<std::string> calls;
    DerivedListener d(&calls, "d");
    relay::signal0 none;
    relay::signal2<unsigned, const std::string&> pair;
    none.connect(&d, &Listener::onNone);
    pair.connect(&d, &DerivedListener::onPair);
    none();
    pair(7, "x");
    EXPECT_EQ(calls, (std::vector<std::string>{"d", "d:7x"}));
}

TEST(RelaySignal, DestroyedObjectIsNoLongerCalled)
{
    std::vector<std::string> calls;
    relay::signal0 sig;
    auto a = std::make_unique<Listener>(&calls, "a");
    Listener b(&calls, "b");
    sig.connect(a.get(), &Listener::onNone);
    sig.connect(&b, &Listener::onNone);
    a.reset();
    EXPECT_EQ(sig.slotCount(), 1);
    sig.fire();
    EXPECT_EQ(calls, std::vector<std::string>{"b"});
}

TEST(RelaySignal, DestroyedObjectLeavesNothingOfItsSlotsInTheSignal)
{
    // The slot's callable may hold code of a library that is unloaded right after the object
    // dies, so the signal must let go of it at once, not at its next emission.
    relay::signal0 sig;
    auto sentinel = std::make_shared<int>(0);
    auto owner = std::make_unique<relay::trackable>();
    sig.connect(owner.get(), [sentinel] { ++*sentinel; });
    EXPECT_EQ(sentinel.use_count(), 2);
    owner.reset();
    EXPECT_EQ(sentinel.use_count(), 1);
}

TEST(RelaySignal, SignalDestroyedBeforeItsObjectsIsHarmless)
{
    std::vector<std::string> calls;
    Listener listener(&calls, "l");
    {
        relay::signal0 sig;
        sig.connect(&listener, &Listener::onNone);
    }
    EXPECT_TRUE(calls.empty());
}

TEST(RelaySignal, DisconnectByHandleAndByOwner)
{
    std::vector<std::string> calls;
    relay::signal0 sig;
    Listener a(&calls, "a"), b(&calls, "b");
    relay::connection ca = sig.connect(&a, &Listener::onNone);
    sig.connect(&b, &Listener::onNone);
    EXPECT_TRUE(ca.connected());
    ca.disconnect();
    EXPECT_FALSE(ca.connected());
    sig.disconnect(&b);
    sig.fire();
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(sig.slotCount(), 0);
}

TEST(RelaySignal, SlotDisconnectingALaterSlotDuringEmissionSkipsIt)
{
    std::vector<std::string> calls;
    relay::signal0 sig;
    Listener owner(&calls, "owner"), later(&calls, "later");
    sig.connect(&owner, [&] {
        calls.push_back("first");
        sig.disconnect(&later);
    });
    sig.connect(&later, &Listener::onNone);
    sig.fire();
    EXPECT_EQ(calls, std::vector<std::string>{"first"});
}

TEST(RelaySignal, SlotDestroyingALaterObjectDuringEmissionSkipsIt)
{
    std::vector<std::string> calls;
    relay::signal0 sig;
    Listener owner(&calls, "owner");
    auto victim = std::make_unique<Listener>(&calls, "victim");
    sig.connect(&owner, [&] { victim.reset(); });
    sig.connect(victim.get(), &Listener::onNone);
    sig.fire();
    EXPECT_TRUE(calls.empty());
}

TEST(RelaySignal, SlotDestroyingItsOwnObjectOrTheSignalIsSafe)
{
    std::vector<std::string> calls;
    auto sig = std::make_unique<relay::signal0>();
    auto self = std::make_unique<Listener>(&calls, "self");
    Listener after(&calls, "after");
    sig->connect(self.get(), [&] { self.reset(); });
    sig->connect(&after, [&] { sig.reset(); });
    sig->connect(&after, &Listener::onNone);
    sig->fire();
    EXPECT_EQ(self, nullptr);
    EXPECT_EQ(sig, nullptr);
    EXPECT_TRUE(calls.empty()); // the emission stopped with the signal
}

TEST(RelaySignal, SlotConnectedDuringEmissionRunsFromTheNextEmission)
{
    std::vector<std::string> calls;
    relay::signal0 sig;
    Listener a(&calls, "a"), b(&calls, "b");
    bool connected = false;
    sig.connect(&a, [&] {
        if (!connected)
            sig.connect(&b, &Listener::onNone);
        connected = true;
    });
    sig.fire();
    EXPECT_TRUE(calls.empty());
    sig.fire();
    EXPECT_EQ(calls, std::vector<std::string>{"b"});
}

TEST(RelaySignal, CopiedTrackableDoesNotInheritConnections)
{
    std::vector<std::string> calls;
    relay::signal0 sig;
    auto original = std::make_unique<Listener>(&calls, "x");
    sig.connect(original.get(), &Listener::onNone);
    Listener copy(*original);
    original.reset();
    sig.fire();
    EXPECT_TRUE(calls.empty());
}

TEST(PropertyIds, SameNameSameIdAndDistinctNamesDistinctIds)
{
    const unsigned short uid = insert_name_id(L"dwUid");
    const unsigned short role = insert_name_id(L"dwRole");
    EXPECT_NE(uid, 0);
    EXPECT_NE(uid, role);
    EXPECT_EQ(insert_name_id(L"dwUid"), uid);
    EXPECT_EQ(insert_name_id(std::wstring(L"dwRole").c_str()), role);
}

TEST(LogCapture, CapturesEveryLevelWithAllFields)
{
    fenbase::LogCapture capture;
    EXPECT_TRUE(IsLogLevelEnabled(9));
    DoLog(9, "KQuorix", "cpp/x/y", 42, "A::b", L"\u6295\u7968 ok");
    const auto records = capture.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].level, 9);
    EXPECT_EQ(records[0].module, "KQuorix");
    EXPECT_EQ(records[0].file, "cpp/x/y");
    EXPECT_EQ(records[0].line, 42);
    EXPECT_EQ(records[0].function, "A::b");
    EXPECT_EQ(records[0].text, "\xE6\x8A\x95\xE7\xA5\xA8 ok");
    EXPECT_TRUE(capture.contains("ok"));
    EXPECT_EQ(capture.count("ok"), 0);
    EXPECT_EQ(capture.count("\xE6\x8A\x95\xE7\xA5\xA8 ok"), 1);
}

TEST(LogCapture, NestedCapturesEachSeeTheirOwnLifetime)
{
    fenbase::LogCapture outer;
    DoLog(1, "m", "f", 1, "fn", L"one");
    {
        fenbase::LogCapture inner;
        DoLog(1, "m", "f", 1, "fn", L"two");
        EXPECT_EQ(inner.records().size(), 1u);
    }
    EXPECT_EQ(outer.records().size(), 2u);
    outer.clear();
    EXPECT_TRUE(outer.records().empty());
}

class LogSink : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_path = ::testing::TempDir() + "fenbase_sink_" + std::to_string(::getpid()) + ".log";
        std::remove(m_path.c_str());
        setenv("FENBASE_LOG_FILE", m_path.c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("FENBASE_LOG_FILE");
        setenv("FENBASE_LOG_LEVEL", "2", 1);
        std::remove(m_path.c_str());
    }
    std::string contents() const
    {
        std::ifstream in(m_path);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
    std::string m_path;
};

TEST_F(LogSink, WritesOneLineWithLevelModuleFunctionPlaceAndUtf8Text)
{
    setenv("FENBASE_LOG_LEVEL", "2", 1);
    DoLog(1, "KQuorix", "cpp/src/quorixapp/quorixprotocol", 77, "QuorixProtocol::reqStartVote",
          L"\u5F00\u542F 5");
    const std::string text = contents();
    EXPECT_NE(text.find(" [1] KQuorix QuorixProtocol::reqStartVote (cpp/src/quorixapp/quorixprotocol:77) "
                        "\xE5\xBC\x80\xE5\x90\xAF 5\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
}

TEST_F(LogSink, LevelAboveTheConfiguredOneIsNeitherEnabledNorWritten)
{
    const struct
    {
        const char* setting;
        unsigned short level;
        bool written;
    } cases[] = {{"2", 2, true},  {"2", 3, false},   {"1", 2, false},
                 {"0", 1, false}, {"junk", 2, true}, {"", 3, false}};
    for (const auto& c : cases) {
        std::remove(m_path.c_str());
        setenv("FENBASE_LOG_LEVEL", c.setting, 1);
        EXPECT_EQ(IsLogLevelEnabled(c.level), c.written) << c.setting << " / " << c.level;
        DoLog(c.level, "m", "f", 1, "fn", L"line");
        EXPECT_EQ(!contents().empty(), c.written) << c.setting << " / " << c.level;
    }
}

TEST_F(LogSink, CaptureSeesLevelsTheSinkDoesNotWrite)
{
    setenv("FENBASE_LOG_LEVEL", "1", 1);
    fenbase::LogCapture capture;
    DoLog(2, "m", "f", 1, "fn", L"detail");
    EXPECT_TRUE(capture.contains("detail"));
    EXPECT_TRUE(contents().empty());
}

TEST(WideToUtf8, EncodesAllPlanesAndReplacesLoneSurrogates)
{
    EXPECT_EQ(fenbase::wideToUtf8(L"a\u00e9\u6295"), "a\xC3\xA9\xE6\x8A\x95");
    EXPECT_EQ(fenbase::wideToUtf8(L"\U0001F600"), "\xF0\x9F\x98\x80");
    const wchar_t lone[] = {0xD800, L'x', 0};
    EXPECT_EQ(fenbase::wideToUtf8(lone), "\xEF\xBF\xBDx");
    EXPECT_EQ(fenbase::wideToUtf8(nullptr), "");
}

} // namespace
