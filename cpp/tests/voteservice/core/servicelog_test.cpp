#include "voteservice/core/servicelog.h"

#include <gtest/gtest.h>

namespace quorix::service {
namespace {

// Only a JOURNAL_STREAM naming exactly this stream's device and inode makes the log journal-style.
TEST(ServiceLogTest, JournalStreamMustNameThisStream)
{
    const struct
    {
        const char* value;
        bool journal;
    } rows[] = {
        {"8:1234", true},  {nullptr, false},   {"", false},       {"8:1235", false},
        {"9:1234", false}, {"8:1234x", false}, {"8-1234", false}, {"8:", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ServiceLog::isJournalStream(row.value, 8, 1234), row.journal)
            << (row.value ? row.value : "null");
}

// --log-level: the words it takes, and which priorities each level lets through.
TEST(ServiceLogTest, LevelsNameTheLeastSevereLineWritten)
{
    using P = ServiceLog::Priority;
    EXPECT_EQ(ServiceLog::levelNamed("error"), P::Error);
    EXPECT_EQ(ServiceLog::levelNamed("warning"), P::Warning);
    EXPECT_EQ(ServiceLog::levelNamed("info"), P::Info);
    for (const char* word : {"", "debug", "Info", "warn"})
        EXPECT_FALSE(ServiceLog::levelNamed(word)) << word;
    ::testing::internal::CaptureStderr();
    ServiceLog::setLevel(P::Warning);
    ServiceLog::line(P::Info, "quiet info");
    ServiceLog::line(P::Warning, "loud warning");
    ServiceLog::setLevel(P::Info);
    ServiceLog::line(P::Info, "info again");
    const std::string written = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(written.find("quiet info"), std::string::npos) << written;
    EXPECT_NE(written.find("loud warning"), std::string::npos) << written;
    EXPECT_NE(written.find("info again"), std::string::npos) << written;
}

} // namespace
} // namespace quorix::service
