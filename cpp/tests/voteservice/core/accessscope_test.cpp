#include "voteservice/core/accessscope.h"

#include <gtest/gtest.h>

namespace quorix::service {
namespace {

TEST(AccessScopeTest, ParsesTheWordsOfAScopeClaim)
{
    const struct
    {
        const char* words;
        std::optional<std::string> expected; // the set's words; nullopt: refused
    } rows[] = {
        {"events", "events"},
        {"vote events", "events vote"},
        {"manage vote events metrics", "events vote manage metrics"},
        {"  events   vote ", "events vote"},
        {"events events", "events"},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"admin", std::nullopt},
        {"events admin", std::nullopt},
        {"Events", std::nullopt},
        {"events,vote", std::nullopt},
        {"events\tvote", std::nullopt},
        {"vot", std::nullopt},
    };
    for (const auto& row : rows) {
        const auto scopes = ScopeSet::parse(row.words);
        EXPECT_EQ(scopes ? std::optional<std::string>(scopes->words()) : std::nullopt, row.expected)
            << '"' << row.words << '"';
    }
}

TEST(AccessScopeTest, ARoleMayHaveEventsAndVoteAndAManagerAlsoManage)
{
    const struct
    {
        std::uint32_t role;
        const char* expected;
    } rows[] = {
        {0, "events vote"}, {100, "events vote"}, {150, "events vote manage"}, {255, "events vote manage"}};
    for (const auto& row : rows)
        EXPECT_EQ(ScopeSet::forRole(row.role).words(), row.expected) << row.role;
    EXPECT_EQ(ScopeSet::all().words(), "events vote manage metrics");
}

} // namespace
} // namespace quorix::service
