#include "voteservice/core/recordvalidator.h"
#include "tests/support/servicetestsupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

namespace quorix::service::test {
namespace {

struct Case
{
    const char* name;
    std::function<VoteInfo()> make;
    const char* fault; // nullptr: valid; "": the whole record too large
};

VoteInfo with(VoteInfo vote, const std::function<void(VoteInfo&)>& change)
{
    change(vote);
    return vote;
}

TEST(RecordValidatorTest, KindsLimitsTextsAndShapes)
{
    const VoteInfo normal = normalVote("Song", 3, 2, 1);
    const VoteInfo group = groupVote("Teams", 2, 3);
    const VoteInfo judge = judgeVote("Dance", {7, 8});
    const Case cases[] = {
        {"normal", [&] { return normal; }, nullptr},
        {"group", [&] { return group; }, nullptr},
        {"judge", [&] { return judge; }, nullptr},
        {"judge without judges", [&] { return judgeVote("Solo", {}); }, nullptr},
        {"five judges",
         [&] {
             return judgeVote("Five", {1, 2, 3, 4, 5});
         },
         nullptr},
        {"six judges",
         [&] {
             return judgeVote("Six", {1, 2, 3, 4, 5, 6});
         },
         "judges"},
        {"kind 3", [&] { return with(normal, [](VoteInfo& v) { v.voteType = 3; }); }, "voteType"},
        {"empty name", [&] { return with(normal, [](VoteInfo& v) { v.name.clear(); }); }, "name"},
        {"20 characters", [&] { return with(normal, [](VoteInfo& v) { v.name = std::string(20, 'a'); }); },
         nullptr},
        {"21 characters", [&] { return with(normal, [](VoteInfo& v) { v.name = std::string(21, 'a'); }); },
         "name"},
        {"20 CJK characters",
         [&] {
             return with(normal, [](VoteInfo& v) {
                 v.name.clear();
                 for (int i = 0; i < 20; ++i)
                     v.name += "\xe6\x8a\x95";
             });
         },
         nullptr},
        {"invalid UTF-8", [&] { return with(normal, [](VoteInfo& v) { v.name = "ab\xff"; }); }, "name"},
        {"truncated UTF-8", [&] { return with(normal, [](VoteInfo& v) { v.name = "ab\xe6\x8a"; }); }, "name"},
        {"overlong UTF-8", [&] { return with(normal, [](VoteInfo& v) { v.name = "\xe0\x80\xaf"; }); },
         "name"},
        {"time 0", [&] { return with(normal, [](VoteInfo& v) { v.limitTime = 0; }); }, "limitTime"},
        {"time 9999", [&] { return with(normal, [](VoteInfo& v) { v.limitTime = 9999; }); }, nullptr},
        {"time 10000", [&] { return with(normal, [](VoteInfo& v) { v.limitTime = 10000; }); }, "limitTime"},
        {"no options", [&] { return normalVote("n", 0, 1, 1); }, "options"},
        {"ten options", [&] { return normalVote("n", 10, 1, 1); }, nullptr},
        {"eleven options", [&] { return normalVote("n", 11, 1, 1); }, "options"},
        {"empty option text", [&] { return with(normal, [](VoteInfo& v) { v.options[1].clear(); }); },
         "options"},
        {"long option text", [&] { return with(normal, [](VoteInfo& v) { v.options[1].assign(21, 'o'); }); },
         "options"},
        {"per option 0", [&] { return normalVote("n", 2, 1, 0); }, "limits"},
        {"per option above per person", [&] { return normalVote("n", 2, 1, 2); }, "limits"},
        {"limits missing", [&] { return with(normal, [](VoteInfo& v) { v.limits.clear(); }); }, "limits"},
        {"results at the end", [&] { return with(judge, [](VoteInfo& v) { v.limits[kResultsShown] = 1; }); },
         nullptr},
        {"results neither live nor at the end",
         [&] { return with(normal, [](VoteInfo& v) { v.limits[kResultsShown] = 2; }); }, "results"},
        {"team of ten", [&] { return groupVote("g", 10, 10); }, nullptr},
        {"team of eleven", [&] { return groupVote("g", 11, 1); }, "optionGroup"},
        {"empty team",
         [&] {
             return with(group, [](VoteInfo& v) {
                 for (auto& [id, team] : v.optionGroup)
                     team = 0;
             });
         },
         "optionGroup"},
        {"option without team", [&] { return with(group, [](VoteInfo& v) { v.optionGroup.erase(4); }); },
         "optionGroup"},
        {"team 2", [&] { return with(group, [](VoteInfo& v) { v.optionGroup[4] = 2; }); }, "optionGroup"},
        {"team name missing", [&] { return with(group, [](VoteInfo& v) { v.groupNames.erase(1); }); },
         "groupNames"},
        {"judge order gap",
         [&] {
             return with(judge, [](VoteInfo& v) {
                 v.judgeOrder.erase(0);
                 v.judgeOrder[2] = 7;
             });
         },
         "judgeOrder"},
        {"judge listed twice", [&] { return with(judge, [](VoteInfo& v) { v.judgeOrder[1] = 7; }); },
         "judgeOrder"},
        {"judge key differs from uid", [&] { return with(judge, [](VoteInfo& v) { v.judges[7].uid = 9; }); },
         "judges"},
        {"judge with two options", [&] { return with(judge, [](VoteInfo& v) { v.options[1] = "x"; }); },
         "options"},
        {"oversized aux text",
         [&] { return with(normal, [](VoteInfo& v) { v.auxText1.assign(5000, 'x'); }); }, ""},
        {"huge aux map",
         [&] {
             return with(normal, [](VoteInfo& v) {
                 for (std::uint32_t i = 0; i < 2000; ++i)
                     v.auxMap[i] = "x";
             });
         },
         ""},
    };
    for (const Case& c : cases) {
        const VoteInfo vote = c.make();
        EXPECT_EQ(RecordValidator::isValid(vote), c.fault == nullptr) << c.name;
        const char* fault = RecordValidator::fault(vote);
        EXPECT_EQ(fault ? std::optional<std::string>(fault) : std::nullopt,
                  c.fault ? std::optional<std::string>(c.fault) : std::nullopt)
            << c.name;
    }
}

TEST(RecordValidatorTest, Utf8LengthCountsCharactersNotBytes)
{
    EXPECT_EQ(RecordValidator::utf8Length(""), 0u);
    EXPECT_EQ(RecordValidator::utf8Length("abc"), 3u);
    EXPECT_EQ(RecordValidator::utf8Length("\xe6\x8a\x95\xe7\xa5\xa8"), 2u);
    EXPECT_EQ(RecordValidator::utf8Length("\xf0\x9f\x8e\xa4"), 1u);
    EXPECT_EQ(RecordValidator::utf8Length("\xed\xa0\x80"), std::string::npos); // surrogate
    EXPECT_EQ(RecordValidator::utf8Length("\xc0\xaf"), std::string::npos);     // overlong
    EXPECT_EQ(RecordValidator::utf8Length("\x80"), std::string::npos);
}

} // namespace
} // namespace quorix::service::test
