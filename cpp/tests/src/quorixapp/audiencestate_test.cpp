// The state every audience window keeps, on its own: the viewer's ticket allowance, the
// countdown and the ranked options.

#include "tests/src/quorixapp/audiencehost.h"
#include "tests/src/quorixapp/votebuilders.h"

#include "src/quorixapp/audience/countdown.h"
#include "src/quorixapp/audience/rankedentries.h"
#include "src/quorixapp/audience/ticketallowance.h"

#include <gtest/gtest.h>

#include <QtAlgorithms>

#include <cctype>

namespace {

struct AllowanceCase
{
    const char* name;
    quint32 perUser, perOption, used;
    std::map<std::uint32_t, std::uint32_t> usedPerOption;
    quint32 spendOn; // one ticket is then spent on this option
    bool spent;
    qint64 remainingAfter;
    quint32 shownAfter;
    quint32 option0After, option1After;
};

class TicketAllowanceTable : public ::testing::TestWithParam<AllowanceCase>
{
};

TEST_P(TicketAllowanceTable, SpendsOnlyWhatIsLeft)
{
    const AllowanceCase& c = GetParam();
    TicketAllowance tickets;
    EXPECT_FALSE(tickets.isKnown());
    tickets.setFromState(test::ticketState(c.perUser, c.perOption, c.used, c.usedPerOption));
    EXPECT_TRUE(tickets.isKnown());
    EXPECT_EQ(tickets.spend(c.spendOn), c.spent) << c.name;
    EXPECT_EQ(tickets.remaining(), c.remainingAfter) << c.name;
    EXPECT_EQ(tickets.shownRemaining(), c.shownAfter) << c.name;
    EXPECT_EQ(tickets.optionLeft(0), c.option0After) << c.name;
    EXPECT_EQ(tickets.optionLeft(1), c.option1After) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    States, TicketAllowanceTable,
    ::testing::Values(
        AllowanceCase{"fresh", 5, 2, 0, {{0, 0}, {1, 0}}, 0, true, 4, 4, 1, 2},
        AllowanceCase{"option used up", 5, 2, 2, {{0, 2}, {1, 0}}, 0, false, 3, 3, 0, 2},
        AllowanceCase{"last ticket empties every option", 3, 2, 2, {{0, 1}, {1, 1}}, 1, true, 0, 0, 0, 0},
        AllowanceCase{"more used than allowed", 4, 3, 6, {{0, 1}, {1, 0}}, 1, false, -2, 0, 0, 0},
        AllowanceCase{"option the state does not name", 5, 2, 0, {{1, 0}}, 0, false, 5, 5, 0, 2}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& ch : name)
            ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        return name;
    });

TEST(TicketAllowance, FullAllowanceGivesEveryOptionItsLimitAndANewVoteForgetsIt)
{
    TicketAllowance tickets;
    tickets.setFull(test::normalVote({0, 0, 0}, 6, 2));
    EXPECT_EQ(tickets.remaining(), 6);
    for (quint32 option = 0; option < 3; ++option)
        EXPECT_EQ(tickets.optionLeft(option), 2u) << option;
    tickets.markUnknown();
    EXPECT_FALSE(tickets.isKnown());
    EXPECT_EQ(tickets.remaining(), 6) << "only the state is asked again";
    tickets.clear();
    EXPECT_EQ(tickets.remaining(), 0);
    EXPECT_EQ(tickets.optionLeft(0), 0u);
    EXPECT_FALSE(tickets.spend(0));
}

TEST(Countdown, TicksDownToZeroAndStopsThere)
{
    AudienceHost::ensureApplication();
    Countdown countdown;
    countdown.setRemaining(61);
    countdown.run();
    EXPECT_TRUE(countdown.isRunning());
    EXPECT_EQ(countdown.text(), QStringLiteral("01:01"));
    EXPECT_FALSE(countdown.tick());
    EXPECT_EQ(countdown.text(), QStringLiteral("01:00"));
    countdown.setRemaining(1);
    EXPECT_TRUE(countdown.tick());
    EXPECT_FALSE(countdown.isRunning());
    EXPECT_EQ(countdown.text(), QStringLiteral("00:00"));
}

std::vector<quint32> ids(const RankedEntries& entries)
{
    std::vector<quint32> result;
    for (const OptionEntry& entry : entries.entries())
        result.push_back(entry.optionId);
    return result;
}

// The order among equal counts is pinned by the normal window's ranking table.
TEST(RankedEntries, RanksHighestFirstOnTheScaleOfTheHighestCount)
{
    RankedEntries ranking(test::normalVote({5, 9, 0}));
    ranking.rankByCount();
    EXPECT_EQ(ids(ranking), (std::vector<quint32>{1, 0, 2}));
    EXPECT_EQ(ranking.entries().front().optionName, QStringLiteral("选项1"));
    EXPECT_EQ(ranking.progress(9), 90);
    EXPECT_EQ(RankedEntries(test::normalVote({10, 3})).progress(3), 3) << "two digits: scale 100";
}

// The window ranks as qSort with "a >= b" ranked it before the order moved to the contract:
// every vote of up to seven options with counts 0 to 2.
TEST(RankedEntries, RanksAsQtsQuicksortWithANonStrictComparison)
{
    for (int size = 0; size <= 7; ++size) {
        int votes = 1;
        for (int i = 0; i < size; ++i)
            votes *= 3;
        for (int code = 0; code < votes; ++code) {
            std::vector<quint32> counts;
            for (int rest = code, i = 0; i < size; ++i, rest /= 3)
                counts.push_back(quint32(rest % 3));
            RankedEntries ranking(test::normalVote(counts));
            ranking.rankByCount();
            QVector<OptionEntry> expected = RankedEntries(test::normalVote(counts)).entries();
            QT_WARNING_PUSH
            QT_WARNING_DISABLE_DEPRECATED
            qSort(expected.begin(), expected.end(),
                  [](const OptionEntry& a, const OptionEntry& b) { return a.ticketCount >= b.ticketCount; });
            QT_WARNING_POP
            std::vector<quint32> expectedIds;
            for (const OptionEntry& entry : expected)
                expectedIds.push_back(entry.optionId);
            ASSERT_EQ(ids(ranking), expectedIds) << "counts code " << code << " of " << size;
        }
    }
}

TEST(RankedEntries, TeamsSplitByGroupAndShareTheVotesScale)
{
    quorix::VoteInfo vote = test::groupVote({0, 1, 0, 2}, {4, 120, 6, 1});
    vote.options[4] = "无组";
    const RankedEntries all(vote);
    const RankedEntries teamA = all.team(vote, 0);
    const RankedEntries teamB = all.team(vote, 1);
    EXPECT_EQ(ids(teamA), (std::vector<quint32>{0, 2, 4})) << "an option without a team is team A's";
    EXPECT_EQ(ids(teamB), (std::vector<quint32>{1, 3})) << "any other team is team B's";
    EXPECT_EQ(teamA.totalTickets(), 10u);
    EXPECT_EQ(teamB.totalTickets(), 121u);
    EXPECT_EQ(teamA.progress(6), 0) << "team A's bars use the scale of the vote's highest count";
}

} // namespace
