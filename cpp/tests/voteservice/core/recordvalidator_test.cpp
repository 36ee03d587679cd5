#include "recordvalidator.h"
#include "servicetestsupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace quorix::service::test {
namespace {

struct Case
{
    const char* name;
    std::function<VoteInfo()> make;
    bool valid;
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
        {"normal", [&] { return normal; }, true},
        {"group", [&] { return group; }, true},
        {"judge", [&] { return judge; }, true},
        {"judge without judges", [&] { return judgeVote("Solo", {}); }, true},
        {"five judges",
         [&] {
             return judgeVote("Five", {1, 2, 3, 4, 5});
         },
         true},
        {"six judges",
         [&] {
             return judgeVote("Six", {1, 2, 3, 4, 5, 6});
         },
         false},
        {"kind 3", [&] { return with(normal, [](VoteInfo& v) { v.voteType = 3; }); }, false},
        {"empty name", [&] { return with(normal, [](VoteInfo& v) { v.name.clear(); }); }, false},
        {"20 characters", [&] { return with(normal, [](VoteInfo& v) { v.name = std::string(20, 'a'); }); },
         true},
        {"21 characters", [&] { return with(normal, [](VoteInfo& v) { v.name = std::string(21, 'a'); }); },
         false},
        {"20 CJK characters",
         [&] {
             return with(normal, [](VoteInfo& v) {
                 v.name.clear();
                 for (int i = 0; i < 20; ++i)
                     v.name += "\xe6\x8a\x95";
             });
         },
         true},
        {"invalid UTF-8", [&] { return with(normal, [](VoteInfo& v) { v.name = "ab\xff"; }); }, false},
        {"truncated UTF-8", [&] { return with(normal, [](VoteInfo& v) { v.name = "ab\xe6\x8a"; }); }, false},
        {"overlong UTF-8", [&] { return with(normal, [](VoteInfo& v) { v.name = "\xe0\x80\xaf"; }); }, false},
        {"time 0", [&] { return with(normal, [](VoteInfo& v) { v.limitTime = 0; }); }, false},
        {"time 9999", [&] { return with(normal, [](VoteInfo& v) { v.limitTime = 9999; }); }, true},
        {"time 10000", [&] { return with(normal, [](VoteInfo& v) { v.limitTime = 10000; }); }, false},
        {"no options", [&] { return normalVote("n", 0, 1, 1); }, false},
        {"ten options", [&] { return normalVote("n", 10, 1, 1); }, true},
        {"eleven options", [&] { return normalVote("n", 11, 1, 1); }, false},
        {"empty option text", [&] { return with(normal, [](VoteInfo& v) { v.options[1].clear(); }); }, false},
        {"long option text", [&] { return with(normal, [](VoteInfo& v) { v.options[1].assign(21, 'o'); }); },
         false},
        {"per option 0", [&] { return normalVote("n", 2, 1, 0); }, false},
        {"per option above per person", [&] { return normalVote("n", 2, 1, 2); }, false},
        {"limits missing", [&] { return with(normal, [](VoteInfo& v) { v.limits.clear(); }); }, false},
        {"team of ten", [&] { return groupVote("g", 10, 10); }, true},
        {"team of eleven", [&] { return groupVote("g", 11, 1); }, false},
        {"empty team",
         [&] {
             return with(group, [](VoteInfo& v) {
                 for (auto& [id, team] : v.optionGroup)
                     team = 0;
             });
         },
         false},
        {"option without team", [&] { return with(group, [](VoteInfo& v) { v.optionGroup.erase(4); }); },
         false},
        {"team 2", [&] { return with(group, [](VoteInfo& v) { v.optionGroup[4] = 2; }); }, false},
        {"team name missing", [&] { return with(group, [](VoteInfo& v) { v.groupNames.erase(1); }); }, false},
        {"judge order gap",
         [&] {
             return with(judge, [](VoteInfo& v) {
                 v.judgeOrder.erase(0);
                 v.judgeOrder[2] = 7;
             });
         },
         false},
        {"judge listed twice", [&] { return with(judge, [](VoteInfo& v) { v.judgeOrder[1] = 7; }); }, false},
        {"judge key differs from uid", [&] { return with(judge, [](VoteInfo& v) { v.judges[7].uid = 9; }); },
         false},
        {"judge with two options", [&] { return with(judge, [](VoteInfo& v) { v.options[1] = "x"; }); },
         false},
        {"oversized aux text",
         [&] { return with(normal, [](VoteInfo& v) { v.auxText1.assign(5000, 'x'); }); }, false},
        {"huge aux map",
         [&] {
             return with(normal, [](VoteInfo& v) {
                 for (std::uint32_t i = 0; i < 2000; ++i)
                     v.auxMap[i] = "x";
             });
         },
         false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RecordValidator::isValid(c.make()), c.valid) << c.name;
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
