#include "host/services/keywordfilter.h"

#include <QTemporaryFile>

#include <gtest/gtest.h>

namespace {

struct FilterCase
{
    const char* name;
    const char* input;
    const char* expected;
};

class KeywordFilterReplaces : public testing::TestWithParam<FilterCase>
{
};

TEST_P(KeywordFilterReplaces, ListedWordsWithOneAsteriskPerCharacter)
{
    KeywordFilter filter;
    filter.setWords({"广告", "刷票", "spam", "广告位", "😀x"});
    EXPECT_EQ(filter.filter(QString::fromUtf8(GetParam().input)).toStdString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, KeywordFilterReplaces,
                         testing::Values(FilterCase{"clean_text_unchanged", "今晚最佳歌手", "今晚最佳歌手"},
                                         FilterCase{"one_word", "禁止刷票哦", "禁止**哦"},
                                         FilterCase{"every_occurrence", "广告广告", "****"},
                                         FilterCase{"longer_word_first", "招租广告位", "招租***"},
                                         FilterCase{"latin_any_case", "no SPAM here", "no **** here"},
                                         FilterCase{"astral_character_counts_once", "a😀xb", "a**b"},
                                         FilterCase{"empty_text", "", ""}),
                         [](const testing::TestParamInfo<FilterCase>& info) { return info.param.name; });

TEST(KeywordFilter, LoadsAFileSkippingBlanksAndComments)
{
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    file.write("# comment\n\n  赌博  \r\nspam\n");
    file.close();
    KeywordFilter filter;
    ASSERT_TRUE(filter.load(file.fileName()));
    EXPECT_EQ(filter.words().size(), 2);
    EXPECT_EQ(filter.filter(QStringLiteral("赌博spam")), QStringLiteral("******"));
}

TEST(KeywordFilter, AMissingFileLeavesAnEmptyListThatChangesNothing)
{
    KeywordFilter filter;
    filter.setWords({"广告"});
    EXPECT_FALSE(filter.load("/nonexistent/keywords.txt"));
    EXPECT_EQ(filter.filter(QStringLiteral("广告")), QStringLiteral("广告"));
}

} // namespace
