#include "tests/support/servicetestsupport.h"
#include "voteservice/core/timetextformatter.h"

#include <gtest/gtest.h>

namespace quorix::service::test {
namespace {

// 2026-12-07 21:00:00 UTC, in winter; 2026-07-01 12:00:00 UTC, in summer.
constexpr std::int64_t kWinter = 1796677200;
constexpr std::int64_t kSummer = 1782907200;

TEST(TimeTextFormatterTest, WritesTheInstantInTheChosenZone)
{
    const struct
    {
        const char* zone;
        std::int64_t instant;
        const char* text;
    } rows[] = {
        {"UTC", kWinter, "2026-12-07 21:00:00"},
        {"UTC", kSummer, "2026-07-01 12:00:00"},
        {"Asia/Shanghai", kWinter, "2026-12-08 05:00:00"},
        {"Asia/Shanghai", kSummer, "2026-07-01 20:00:00"},
        {"Europe/Berlin", kWinter, "2026-12-07 22:00:00"},
        {"Europe/Berlin", kSummer, "2026-07-01 14:00:00"},
        {"America/New_York", kWinter, "2026-12-07 16:00:00"},
        {"America/New_York", kSummer, "2026-07-01 08:00:00"},
        // The last second before Berlin's clocks go forward (2026-03-29 01:00 UTC) and the first after.
        {"Europe/Berlin", 1774745999, "2026-03-29 01:59:59"},
        {"Europe/Berlin", 1774746000, "2026-03-29 03:00:00"},
    };
    for (const auto& row : rows) {
        const ZoneScope zone(row.zone);
        EXPECT_EQ(TimeTextFormatter().format(row.instant), row.text) << row.zone << " " << row.instant;
    }
}

TEST(TimeTextFormatterTest, KnowsOnlyZonesOfTheDatabase)
{
    const struct
    {
        std::string zone;
        bool known;
    } rows[] = {
        {"UTC", true},
        {"Asia/Shanghai", true},
        {"America/Argentina/Buenos_Aires", true},
        {"", false},
        {"Mars/Olympus_Mons", false},
        {"asia/shanghai", false},
        {"Asia", false},         // a folder
        {"zone1970.tab", false}, // a file of the database that is no zone
        {"../zoneinfo/Asia/Shanghai", false},
        {"/usr/share/zoneinfo/Asia/Shanghai", false},
        {"CST-8", false}, // a rule, not a name
    };
    for (const auto& row : rows)
        EXPECT_EQ(TimeTextFormatter::knowsZone(row.zone), row.known) << row.zone;
}

TEST(TimeTextFormatterTest, AnUnknownZoneLeavesTheZoneAsItWas)
{
    const ZoneScope zone("Asia/Shanghai");
    EXPECT_FALSE(TimeTextFormatter::useZone("Mars/Olympus_Mons"));
    EXPECT_EQ(TimeTextFormatter().format(kWinter), "2026-12-08 05:00:00");
}

} // namespace
} // namespace quorix::service::test
