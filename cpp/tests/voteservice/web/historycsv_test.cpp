#include "voteservice/web/historycsv.h"

#include <gtest/gtest.h>

#include <optional>

namespace quorix::service::test {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// A strict RFC 4180 reader: every record ends with CRLF, quotes only around whole fields and doubled
// inside them; nullopt for anything else.
std::optional<Rows> readCsv(const std::string& text)
{
    Rows rows(1, std::vector<std::string>(1));
    std::size_t i = 0;
    while (i < text.size()) {
        std::string& field = rows.back().back();
        if (text[i] == '"') {
            for (++i;; ++i) {
                if (i >= text.size())
                    return std::nullopt;
                if (text[i] == '"' && i + 1 < text.size() && text[i + 1] == '"')
                    field += text[++i];
                else if (text[i] == '"')
                    break;
                else
                    field += text[i];
            }
            ++i;
        } else {
            while (i < text.size() && text[i] != ',' && text[i] != '\r') {
                if (text[i] == '"' || text[i] == '\n')
                    return std::nullopt;
                field += text[i++];
            }
        }
        if (i < text.size() && text[i] == ',') {
            rows.back().emplace_back();
            ++i;
        } else if (text.compare(i, 2, "\r\n") == 0) {
            i += 2;
            if (i < text.size())
                rows.emplace_back(1);
        } else {
            return std::nullopt;
        }
    }
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0)
        return std::nullopt;
    return rows;
}

HistoryEntry entry(std::uint32_t key, std::uint32_t voteType, const std::string& name,
                   const std::string& admin, TextMap options, U32Map tickets)
{
    HistoryEntry e;
    e.record.recordKey = key;
    e.record.voteType = voteType;
    e.record.name = name;
    e.record.adminNick = admin;
    e.record.timeText = "2026-12-08 17:05:00";
    e.record.options = std::move(options);
    e.record.optionTickets = std::move(tickets);
    return e;
}

TEST(HistoryCsvTest, EntriesComeBackFieldForFieldThroughAStrictReader)
{
    const std::vector<HistoryEntry> entries = {
        entry(7, kNormalVote, "Song", "host", {{1, "A"}, {2, "B"}}, {{1, 3}, {2, 0}}),
        entry(6, kGroupVote, "Teams, round 2", "主持人", {{1, "红队"}, {2, "蓝\"队\""}}, {{1, 5}}),
        entry(5, kJudgeVote, "Dance\r\nfinal", "judge lead", {{0, "Dance\r\nfinal"}}, {{0, 14}}),
        entry(4, kNormalVote, "=HYPERLINK(\"x\")", "@admin", {{1, "-1"}, {2, "+2"}, {3, "\tx"}, {4, "a=b"}},
              {{1, 1}, {2, 2}, {3, 3}, {4, 4}}),
        entry(3, kNormalVote, "line\nbreak", "nick", {{9, "only LF\n"}}, {{9, 1}}),
    };
    const std::string csv = HistoryCsv::write(entries);
    ASSERT_EQ(csv.compare(0, 3, "\xEF\xBB\xBF"), 0) << "no byte-order mark";
    const auto rows = readCsv(csv.substr(3));
    ASSERT_TRUE(rows) << csv;

    const std::string t = "2026-12-08 17:05:00";
    const Rows expected = {
        {"time", "vote_id", "name", "kind", "started_by", "option_id", "option", "tickets"},
        {t, "7", "Song", "normal", "host", "1", "A", "3"},
        {t, "7", "Song", "normal", "host", "2", "B", "0"},
        {t, "6", "Teams, round 2", "group", "主持人", "1", "红队", "5"},
        {t, "6", "Teams, round 2", "group", "主持人", "2", "蓝\"队\"", "0"},
        {t, "5", "Dance\r\nfinal", "judge", "judge lead", "0", "Dance\r\nfinal", "14"},
        // What a spreadsheet would run as a formula is kept as text.
        {t, "4", "'=HYPERLINK(\"x\")", "normal", "'@admin", "1", "'-1", "1"},
        {t, "4", "'=HYPERLINK(\"x\")", "normal", "'@admin", "2", "'+2", "2"},
        {t, "4", "'=HYPERLINK(\"x\")", "normal", "'@admin", "3", "'\tx", "3"},
        {t, "4", "'=HYPERLINK(\"x\")", "normal", "'@admin", "4", "a=b", "4"},
        {t, "3", "line\nbreak", "normal", "nick", "9", "only LF\n", "1"},
    };
    EXPECT_EQ(*rows, expected);
}

TEST(HistoryCsvTest, NoEntriesGiveTheHeaderOnly)
{
    EXPECT_EQ(HistoryCsv::write({}), "\xEF\xBB\xBF"
                                     "time,vote_id,name,kind,started_by,option_id,option,tickets\r\n");
}

} // namespace
} // namespace quorix::service::test
