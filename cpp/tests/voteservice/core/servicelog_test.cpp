#include "servicelog.h"

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

} // namespace
} // namespace quorix::service
