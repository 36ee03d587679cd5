// The vote history rows shared by the management window and the history window: order, the
// time cut, totals, and unfolding a normal vote's options and folding them away again.

#include "src/quorixapp/panelistctrrowwidget.h"
#include "src/quorixapp/quorixpanelistctrl.h"
#include "src/quorixapp/quorixrecordrows.h"

#include <logcapture.h>
#include <panefind.h>
#include <panelabelwidget.h>

#include <QApplication>
#include <QGraphicsScene>

#include <gtest/gtest.h>

#include <memory>

namespace {

QApplication* app()
{
    static int argc = 1;
    static char name[] = "recordrows_test";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = new QApplication(argc, argv);
    return instance;
}

quorix::VoteHistoryRecord record(quint32 key, const char* name, quint32 type, const char* time,
                                 quorix::TextMap options = {}, quorix::U32Map tickets = {})
{
    quorix::VoteHistoryRecord r;
    r.recordKey = key;
    r.name = name;
    r.voteType = type;
    r.timeText = time;
    r.adminNick = "管理员";
    r.options = std::move(options);
    r.optionTickets = std::move(tickets);
    return r;
}

class RecordRowsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        app();
        scene = std::make_unique<QGraphicsScene>();
        list = new QuorixPaneListCtrl();
        scene->addItem(list);
        list->resize(496, 220);
        history.records[3] = record(3, "第三场", quorix::kNormalVote, "2026-12-05 20:15:42",
                                    {{0, "红"}, {1, "蓝"}, {2, "绿"}}, {{0, 7}, {2, 5}});
        history.records[10] = record(10, "对战", quorix::kGroupVote, "2026-12-06 21:00:00",
                                     {{0, "A1"}, {1, "B1"}}, {{0, 4000000000u}, {1, 500000000u}});
        history.records[7] = record(7, "评委", quorix::kJudgeVote, "12-06 9:00");
    }

    QString text(int row, const char* name) const
    {
        auto* label = qobject_cast<PaneLabelWidget*>(list->findInRow(row, QString::fromLatin1(name)));
        return label ? label->text() : QStringLiteral("<none>");
    }

    PaneWidget* detail(int row) const
    {
        return list->findInRow(row, QStringLiteral("RECORD_LIST_ROW_DETAIL_LAYOUTER"));
    }

    qreal height(int row) const { return list->rowWidget(row)->size().height(); }

    std::unique_ptr<QGraphicsScene> scene;
    QuorixPaneListCtrl* list = nullptr;
    quorix::PQueryVoteHisRecordRes history;
};

TEST_F(RecordRowsTest, RowsShowNewestFirstWithCutTimesAndTotals)
{
    QuorixRecordRows::fill(list, history);
    ASSERT_EQ(list->rowCount(), 3);
    EXPECT_FALSE(list->isSelectable());

    const struct
    {
        quint32 key;
        QString time, name, tickets;
    } expected[] = {{10, "12-06 21:00", "对战", "4500000000"},
                    {7, "12-06 9:00", "评委", "0"},
                    {3, "12-05 20:15", "第三场", "12"}};
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(list->rowWidget(row)->data(QuorixRecordRows::kRecordKeyKey).toUInt(), expected[row].key);
        EXPECT_EQ(text(row, "TIME_LABEL"), expected[row].time);
        EXPECT_EQ(text(row, "NAME_LABEL"), expected[row].name);
        EXPECT_EQ(text(row, "ADMIN_LABEL"), QStringLiteral("管理员"));
        EXPECT_EQ(text(row, "TICKETS_LABEL"), expected[row].tickets);
        EXPECT_NEAR(height(row), 30, 0.5);
    }
}

TEST_F(RecordRowsTest, OnlyNineteenCharacterTimesAreCut)
{
    const struct
    {
        const char* in;
        const char* out;
    } cases[] = {{"2026-12-05 20:15:42", "12-05 20:15"},
                 {"2026-12-05 20:15", "2026-12-05 20:15"},
                 {"2026-12-05 20:15:42.5", "2026-12-05 20:15:42.5"},
                 {"", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(QuorixRecordRows::shortTime(QString::fromLatin1(c.in)), QString::fromLatin1(c.out)) << c.in;
}

TEST_F(RecordRowsTest, NormalVoteUnfoldsItsOptionsAndFoldsBack)
{
    QuorixRecordRows::fill(list, history);
    const int row = 2; // key 3, the normal vote
    fenbase::LogCapture capture;

    QuorixRecordRows::toggle(list, row, &history);
    EXPECT_TRUE(capture.contains(" this is a  common vote."));
    PaneWidget* shown = detail(row);
    ASSERT_NE(shown, nullptr);
    EXPECT_NEAR(height(row), 4 * 30, 0.5);
    QStringList texts;
    for (PaneLabelWidget* label : panefw::findChildren<PaneLabelWidget>(shown))
        texts << label->text();
    EXPECT_EQ(texts, (QStringList{"红", "7", "蓝", "0", "绿", "5"}));
    EXPECT_TRUE(list->rowWidget(row)->data(QuorixRecordRows::kExpandedKey).toBool());

    QuorixRecordRows::toggle(list, row, &history);
    EXPECT_EQ(detail(row), nullptr);
    EXPECT_NEAR(height(row), 30, 0.5);
    EXPECT_FALSE(list->rowWidget(row)->data(QuorixRecordRows::kExpandedKey).toBool());
    // Nothing of the detail is left anywhere in the row.
    EXPECT_TRUE(panefw::findChildren<PaneLabelWidget>(list->rowWidget(row), QStringLiteral("红")).isEmpty());
    int labels = 0;
    for (PaneLabelWidget* label : panefw::findChildren<PaneLabelWidget>(list->rowWidget(row)))
        labels += label->text() == QStringLiteral("红") ? 1 : 0;
    EXPECT_EQ(labels, 0);

    QuorixRecordRows::toggle(list, row, &history);
    EXPECT_NE(detail(row), nullptr);
    EXPECT_NEAR(height(row), 4 * 30, 0.5);
}

TEST_F(RecordRowsTest, GroupAndJudgeRowsStayFolded)
{
    QuorixRecordRows::fill(list, history);
    fenbase::LogCapture capture;
    QuorixRecordRows::toggle(list, 0, &history);
    QuorixRecordRows::toggle(list, 1, &history);
    EXPECT_TRUE(capture.contains(" this is a  group vote."));
    EXPECT_TRUE(capture.contains(" this is a judge vote."));
    EXPECT_EQ(detail(0), nullptr);
    EXPECT_EQ(detail(1), nullptr);
    EXPECT_NEAR(height(0), 30, 0.5);
}

TEST_F(RecordRowsTest, VanishedRecordOnlyMarksTheRowAndTheNextPressFolds)
{
    QuorixRecordRows::fill(list, history);
    quorix::PQueryVoteHisRecordRes newer;
    QuorixRecordRows::toggle(list, 2, &newer);
    EXPECT_EQ(detail(2), nullptr);
    EXPECT_TRUE(list->rowWidget(2)->data(QuorixRecordRows::kExpandedKey).toBool());
    QuorixRecordRows::toggle(list, 2, &history);
    EXPECT_EQ(detail(2), nullptr);
    EXPECT_FALSE(list->rowWidget(2)->data(QuorixRecordRows::kExpandedKey).toBool());
}

TEST_F(RecordRowsTest, RefillFoldsEverythingAndMissingPiecesAreHarmless)
{
    QuorixRecordRows::fill(list, history);
    QuorixRecordRows::toggle(list, 2, &history);
    QuorixRecordRows::fill(list, history);
    EXPECT_EQ(detail(2), nullptr);
    EXPECT_NEAR(height(2), 30, 0.5);

    QuorixRecordRows::toggle(list, 9, &history);
    QuorixRecordRows::toggle(nullptr, 0, &history);
    QuorixRecordRows::fill(nullptr, history);
    QuorixRecordRows::fill(list, quorix::PQueryVoteHisRecordRes());
    EXPECT_EQ(list->rowCount(), 0);
}

} // namespace
