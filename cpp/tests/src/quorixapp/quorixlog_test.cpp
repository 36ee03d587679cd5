// The add-on's log statement: record fields, text pieces and buffer growth.

#include "logcapture.h"
#include "src/quorixlog/quorixlog.h"

#include <gtest/gtest.h>

#include <QString>

#include <climits>
#include <cstdlib>
#include <string>

namespace {

struct NamedCase
{
    const char* input;
    const char* expected;
};

TEST(QuorixLogNames, FunctionNameIsClassAndMethod)
{
    const NamedCase cases[] = {
        {"void QuorixProtocol::reqStartVote(quint32)", "QuorixProtocol::reqStartVote"},
        {"virtual bool EntryApi::onLoad(IComponentRoot*)", "EntryApi::onLoad"},
        {"static QuorixApp* QuorixApp::instance()", "QuorixApp::instance"},
        {"QList<QPair<const char*, QObject*> > QuorixApp::ownedObjects() const", "QuorixApp::ownedObjects"},
        {"std::function<void()> A::make(int)", "A::make"},
        {"HRESULT createComInstance(const char*, IUnk*, void**)", "createComInstance"},
        {"EntryApi::EntryApi()", "EntryApi::EntryApi"},
        {"QuorixController::init(QuorixProtocol*)::<lambda()>", "QuorixController::init"},
        {"const QString& A::name() const", "A::name"},
        {"void A::operator()(int)", "A::operator()"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(quorixlog::functionName(c.input), c.expected) << c.input;
}

TEST(QuorixLogNames, SourcePathIsRepositoryRelativeWithoutExtension)
{
    const NamedCase cases[] = {
        {"/work/main/cpp/src/quorixapp/quorixprotocol.cpp", "cpp/src/quorixapp/quorixprotocol"},
        {"/home/u/cpp/proj/cpp/src/quorix/entryapi.cpp", "cpp/src/quorix/entryapi"},
        {"cpp/src/quorixapp/quorixlog.h", "cpp/src/quorixapp/quorixlog"},
        {"/tmp/other.dir/file", "/tmp/other.dir/file"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(quorixlog::sourcePath(c.input), c.expected) << c.input;
}

class Sample
{
public:
    int line = 0;
    void logSomething()
    {
        line = __LINE__ + 1;
        QLOG(1) << "uid=" << 42u << " delta=" << -7 << " nick=" << QString::fromUtf8("\xE6\x8A\x95") << ' '
                << std::string("s") << L" w" << true;
    }
};

TEST(QuorixLogRecord, CarriesModuleFileLineFunctionAndJoinedText)
{
    fenbase::LogCapture capture;
    Sample sample;
    sample.logSomething();
    const auto records = capture.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].level, 1);
    EXPECT_EQ(records[0].module, "KQuorix");
    EXPECT_EQ(records[0].file, "cpp/tests/src/quorixapp/quorixlog_test");
    EXPECT_EQ(records[0].line, sample.line);
    EXPECT_EQ(records[0].function, "Sample::logSomething");
    EXPECT_EQ(records[0].text, "uid=42 delta=-7 nick=\xE6\x8A\x95 s w1");
}

TEST(QuorixLogRecord, NumbersAtTheirLimits)
{
    fenbase::LogCapture capture;
    QLOG(2) << LLONG_MIN << " " << ULLONG_MAX << " " << static_cast<short>(-1) << " " << 0;
    ASSERT_EQ(capture.records().size(), 1u);
    EXPECT_EQ(capture.records()[0].text, "-9223372036854775808 18446744073709551615 -1 0");
}

TEST(QuorixLogRecord, DisabledLevelWritesNothingAndAppendsNothing)
{
    setenv("FENBASE_LOG_LEVEL", "1", 1);
    quorixlog::LogStatement statement(2, __FILE__, __LINE__, __PRETTY_FUNCTION__);
    statement << std::string(5000, 'x');
    EXPECT_FALSE(statement.enabled());
    EXPECT_EQ(statement.capacity(), 512u);
    EXPECT_STREQ(statement.text(), L"");
    setenv("FENBASE_LOG_LEVEL", "2", 1);
}

TEST(QuorixLogBuffer, StartsAt512AndDoublesUntilTheTextFits)
{
    const struct
    {
        size_t length;
        size_t capacity;
    } cases[] = {{0, 512}, {511, 512}, {512, 1024}, {1023, 1024}, {1024, 2048}, {5000, 8192}};
    fenbase::LogCapture capture;
    for (const auto& c : cases) {
        quorixlog::LogStatement statement(1, __FILE__, __LINE__, __PRETTY_FUNCTION__);
        statement << std::string(c.length, 'a');
        EXPECT_EQ(statement.capacity(), c.capacity) << c.length;
        EXPECT_EQ(std::wstring(statement.text()).size(), c.length);
    }
}

TEST(QuorixLogBuffer, TextSurvivesTheMoveToTheHeapPieceByPiece)
{
    fenbase::LogCapture capture;
    {
        quorixlog::LogStatement statement(1, __FILE__, __LINE__, __PRETTY_FUNCTION__);
        for (int i = 0; i < 300; ++i)
            statement << i % 10 << "\xE7\xA5\xA8";
    }
    ASSERT_EQ(capture.records().size(), 1u);
    std::string expected;
    for (int i = 0; i < 300; ++i)
        expected += std::to_string(i % 10) + "\xE7\xA5\xA8";
    EXPECT_EQ(capture.records()[0].text, expected);
}

} // namespace
