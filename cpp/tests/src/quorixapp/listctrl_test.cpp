// The list controls: selection-signal order, hover and chosen looks, insertion and removal with
// renumbering and striping, placement of widgets in rows, the judge list, and the class's entry
// in the UI framework's creation table.

#include "src/quorixapp/judgelistctrl.h"
#include "src/quorixapp/panelistctrrowwidget.h"
#include "src/quorixapp/quorixpanelistctrl.h"

#include <panedynamiccreator.h>
#include <panefind.h>
#include <paneframewindow.h>
#include <panelabelwidget.h>
#include <panelayoutloader.h>
#include <panepushbutton.h>

#include <QApplication>
#include <QGraphicsScene>
#include <QGraphicsSceneHoverEvent>
#include <QGraphicsSceneMouseEvent>
#include <QSignalSpy>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kImages = QStringLiteral(":/image/theme/quorix/image/");

QApplication* app()
{
    static int argc = 1;
    static char name[] = "listctrl_test";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = new QApplication(argc, argv);
    return instance;
}

// Records every signal of a list as "name(row)" in emission order.
class SignalLog : public QObject
{
public:
    explicit SignalLog(QuorixPaneListCtrl* list)
    {
        const auto add = [this](const char* name) {
            return
                [this, name](int row) { log << QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(row); };
        };
        connect(list, &QuorixPaneListCtrl::rowPressed, this, add("rowPressed"));
        connect(list, &QuorixPaneListCtrl::rowSelected, this, add("rowSelected"));
        connect(list, &QuorixPaneListCtrl::rowUnSelected, this, add("rowUnSelected"));
        connect(list, &QuorixPaneListCtrl::rowActived, this, add("rowActived"));
        connect(list, &QuorixPaneListCtrl::rowUnActived, this, add("rowUnActived"));
    }
    QStringList take()
    {
        QStringList out = log;
        log.clear();
        return out;
    }
    QStringList log;
};

class ListCtrlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        app();
        scene = std::make_unique<QGraphicsScene>();
        list = new QuorixPaneListCtrl();
        scene->addItem(list);
        list->resize(480, 200);
    }

    void addRows(int n)
    {
        for (int i = 0; i < n; ++i)
            ASSERT_NE(list->insertRow(-1, 30), nullptr);
    }

    void press(int row)
    {
        QGraphicsSceneMouseEvent event(QEvent::GraphicsSceneMousePress);
        event.setButton(Qt::LeftButton);
        event.setButtons(Qt::LeftButton);
        scene->sendEvent(list->rowWidget(row), &event);
    }

    void hover(int row, bool enter)
    {
        QGraphicsSceneHoverEvent event(enter ? QEvent::GraphicsSceneHoverEnter
                                             : QEvent::GraphicsSceneHoverLeave);
        scene->sendEvent(list->rowWidget(row), &event);
    }

    QString image(int row) const { return list->rowWidget(row)->image(); }

    std::unique_ptr<QGraphicsScene> scene;
    QuorixPaneListCtrl* list = nullptr;
};

struct ClickCase
{
    const char* name;
    bool selectable;
    std::vector<int> clicks; // all but the last prepare the state
    QStringList lastSignals; // signals of the last click
    int selectedAfter;
};

class SelectionSequence : public ListCtrlTest, public ::testing::WithParamInterface<ClickCase>
{
};

TEST_P(SelectionSequence, EmitsTheSignalsInOrder)
{
    const ClickCase& c = GetParam();
    addRows(5);
    list->setSelectable(c.selectable);
    SignalLog log(list);
    for (std::size_t i = 0; i + 1 < c.clicks.size(); ++i)
        press(c.clicks[i]);
    log.take();
    press(c.clicks.back());
    EXPECT_EQ(log.take(), c.lastSignals);
    EXPECT_EQ(list->selectedRow(), c.selectedAfter);
    for (int row = 0; row < list->rowCount(); ++row)
        EXPECT_EQ(list->rowWidget(row)->state(), row == c.selectedAfter ? 2 : 0) << "row " << row;
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, SelectionSequence,
    ::testing::Values(
        ClickCase{"FirstClickSelects", true, {2}, {"rowSelected(2)", "rowUnSelected(-1)"}, 2},
        ClickCase{"SecondClickDeselects", true, {2, 2}, {"rowUnSelected(2)"}, -1},
        ClickCase{
            "ClickAfterDeselectStartsAfresh", true, {2, 2, 4}, {"rowSelected(4)", "rowUnSelected(-1)"}, 4},
        ClickCase{"ClickMovesTheSelection", true, {3, 1}, {"rowSelected(1)", "rowUnSelected(3)"}, 1},
        ClickCase{"NotSelectableOnlyReportsPresses", false, {1}, {"rowPressed(1)"}, -1}),
    [](const ::testing::TestParamInfo<ClickCase>& info) { return std::string(info.param.name); });

TEST_F(ListCtrlTest, OutOfRangeClickIsIgnored)
{
    addRows(2);
    SignalLog log(list);
    list->rowClicked(5);
    list->rowClicked(-1);
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_EQ(list->selectedRow(), -1);
}

TEST_F(ListCtrlTest, HoverHighlightsAndLeavesRows)
{
    addRows(3);
    SignalLog log(list);
    hover(1, true);
    EXPECT_EQ(list->rowWidget(1)->state(), 1);
    EXPECT_EQ(image(1), kImages + "list_row_active.png");
    hover(1, false);
    EXPECT_EQ(list->rowWidget(1)->state(), 0);
    EXPECT_EQ(image(1), kImages + "list_row_normal2.png");
    EXPECT_EQ(log.take(), (QStringList{"rowActived(1)", "rowUnActived(1)"}));
    EXPECT_EQ(list->activeRow(), -1);
}

TEST_F(ListCtrlTest, HoverOnAChosenRowChangesNothing)
{
    addRows(3);
    press(1);
    SignalLog log(list);
    hover(1, true);
    hover(1, false);
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_EQ(list->rowWidget(1)->state(), 2);
    EXPECT_EQ(image(1), kImages + "list_row_chosen.png");
    EXPECT_TRUE(list->rowWidget(1)->isPressedLook());
}

TEST_F(ListCtrlTest, SelectRowHighlightsWithoutSignalsAndUnhighlightKeepsTheIndex)
{
    addRows(4);
    press(0);
    SignalLog log(list);
    list->selectRow(2);
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_EQ(list->rowWidget(0)->state(), 0);
    EXPECT_FALSE(list->rowWidget(0)->isPressedLook());
    EXPECT_EQ(list->rowWidget(2)->state(), 1);
    EXPECT_EQ(list->selectedRow(), 2);

    list->unhighlightRow(2);
    EXPECT_EQ(list->rowWidget(2)->state(), 0);
    EXPECT_EQ(list->selectedRow(), 2);
}

TEST_F(ListCtrlTest, InsertAtTopRenumbersAndRestripes)
{
    addRows(3);
    PaneListCtrRowWidget* oldFirst = list->rowWidget(0);
    list->setRowState(2, 1);
    PaneListCtrRowWidget* inserted = list->insertRow(0, 30);
    ASSERT_NE(inserted, nullptr);
    ASSERT_EQ(list->rowCount(), 4);
    EXPECT_EQ(list->rowWidget(0), inserted);
    EXPECT_EQ(list->rowWidget(1), oldFirst);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(list->rowWidget(i)->rowIndex(), i);
    EXPECT_EQ(image(0), kImages + "list_row_normal1.png");
    EXPECT_EQ(image(1), kImages + "list_row_normal2.png");
    // States survive renumbering; the image becomes the row's striping again.
    EXPECT_EQ(list->rowWidget(3)->state(), 1);
    EXPECT_EQ(image(3), kImages + "list_row_normal2.png");
    // Rows are stacked in display order.
    for (int i = 1; i < 4; ++i)
        EXPECT_GT(list->rowWidget(i)->pos().y(), list->rowWidget(i - 1)->pos().y());
}

TEST_F(ListCtrlTest, InsertRejectsIndicesOutOfRange)
{
    addRows(2);
    EXPECT_EQ(list->insertRow(-2, 30), nullptr);
    EXPECT_EQ(list->insertRow(3, 30), nullptr);
    EXPECT_EQ(list->rowCount(), 2);
    EXPECT_NE(list->insertRow(2, 30), nullptr);
    EXPECT_EQ(list->rowWidget(2)->rowIndex(), 2);
}

TEST_F(ListCtrlTest, RemoveRowRenumbersTheRest)
{
    addRows(4);
    PaneListCtrRowWidget* third = list->rowWidget(2);
    list->removeRow(1);
    ASSERT_EQ(list->rowCount(), 3);
    EXPECT_EQ(list->rowWidget(1), third);
    EXPECT_EQ(third->rowIndex(), 1);
    EXPECT_EQ(image(1), kImages + "list_row_normal2.png");
    list->removeRow(7);
    EXPECT_EQ(list->rowCount(), 3);
    list->clearRows();
    EXPECT_EQ(list->rowCount(), 0);
    EXPECT_EQ(list->rowWidget(0), nullptr);
}

TEST_F(ListCtrlTest, PlaceAndFindWidgetsInRows)
{
    addRows(2);
    auto* label = new PaneLabelWidget(QStringLiteral("hello"));
    label->setObjectName(QStringLiteral("NAME"));
    list->placeInRow(1, label, QRectF(10, 4, 100, 18));
    EXPECT_EQ(label->parentItem(), list->rowWidget(1));
    EXPECT_EQ(label->geometry(), QRectF(10, 4, 100, 18));
    EXPECT_EQ(list->findInRow(1, QStringLiteral("NAME")), label);
    EXPECT_EQ(list->findInRow(0, QStringLiteral("NAME")), nullptr);
    EXPECT_EQ(list->findInRow(9, QStringLiteral("NAME")), nullptr);
    list->placeInRow(5, label, QRectF());
    EXPECT_EQ(label->parentItem(), list->rowWidget(1));
}

TEST_F(ListCtrlTest, RowsFollowTheListWidthAndTheirHeight)
{
    addRows(2);
    list->resize(300, 200);
    EXPECT_NEAR(list->rowWidget(0)->size().width(), 296, 0.5);
    list->setRowHeight(0, 90);
    EXPECT_NEAR(list->rowWidget(0)->size().height(), 90, 0.5);
    EXPECT_NEAR(list->rowWidget(1)->pos().y() - list->rowWidget(0)->pos().y(), 90, 0.5);
}

TEST_F(ListCtrlTest, BackgroundImageGoesToTheContent)
{
    list->setProperty("bkImagePath", kImages + "group_bg.png");
    EXPECT_EQ(list->bkImagePath(), kImages + "group_bg.png");
}

TEST(ListCtrlRegistry, LayoutsCanDeclareTheList)
{
    app();
    EXPECT_TRUE(PaneDynamicCreator::isRegistered(QStringLiteral("QuorixPaneListCtrl")));
    std::unique_ptr<PaneFrameWindow> window(PaneLayoutLoader::loadData(
        "<xmlui><PaneFrameWindow objectName=\"w\" fixSize=\"200,100\"><PaneWidget layout=\"VBox\">"
        "<QuorixPaneListCtrl objectName=\"voteListCtrl\"/></PaneWidget></PaneFrameWindow></xmlui>"));
    ASSERT_NE(window, nullptr);
    EXPECT_NE(panefw::findChild<QuorixPaneListCtrl>(window.get(), QStringLiteral("voteListCtrl")), nullptr);
}

// ---------------------------------------------------------------------------------------------

class JudgeListTest : public ListCtrlTest
{
protected:
    QString labelOf(int row) const
    {
        auto* label = qobject_cast<PaneLabelWidget*>(list->findInRow(row, QStringLiteral("Lable")));
        return label ? label->text() : QString();
    }
    PanePushButton* buttonOf(int row) const
    {
        return qobject_cast<PanePushButton*>(list->findInRow(row, QStringLiteral("Button")));
    }
};

TEST_F(JudgeListTest, SameNumberIsListedOnce)
{
    JudgeListCtrl judges(list);
    judges.addJudge("1001", "Ann", 11);
    judges.addJudge("1001", "Ann again", 12);
    judges.addJudge("1002", "Bo", 13);
    EXPECT_EQ(list->rowCount(), 2);
    EXPECT_EQ(judges.uids(), (std::vector<quint32>{11, 13}));
    EXPECT_EQ(labelOf(0), QStringLiteral("1   Ann(1001)"));
    EXPECT_EQ(labelOf(1), QStringLiteral("2   Bo(1002)"));
}

TEST_F(JudgeListTest, RemovingTheFirstJudgeRelabelsTheRest)
{
    JudgeListCtrl judges(list);
    judges.addJudge("1001", "Ann", 11);
    judges.addJudge("1002", "Bo", 12);
    judges.addJudge("1003", "Cy", 13);
    QSignalSpy removed(&judges, &JudgeListCtrl::removeItem);

    buttonOf(0)->click();

    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.at(0).at(0).toInt(), 0);
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(labelOf(0), QStringLiteral("1   Bo(1002)"));
    EXPECT_EQ(labelOf(1), QStringLiteral("2   Cy(1003)"));
    EXPECT_EQ(judges.numbers(), (std::vector<QString>{"1002", "1003"}));
    EXPECT_EQ(judges.nicks(), (std::vector<QString>{"Bo", "Cy"}));
    EXPECT_EQ(judges.uids(), (std::vector<quint32>{12, 13}));

    // The buttons now carry their new positions: removing the last one works.
    buttonOf(1)->click();
    EXPECT_EQ(removed.count(), 2);
    EXPECT_EQ(removed.at(1).at(0).toInt(), 1);
    EXPECT_EQ(judges.numbers(), (std::vector<QString>{"1002"}));
}

TEST_F(JudgeListTest, ClearAndDestructionRemoveTheRows)
{
    {
        JudgeListCtrl judges(list);
        judges.addJudge("1", "a", 1);
        judges.addJudge("2", "b", 2);
        judges.clear();
        EXPECT_EQ(list->rowCount(), 0);
        EXPECT_TRUE(judges.numbers().empty());
        judges.addJudge("3", "c", 3);
        EXPECT_EQ(labelOf(0), QStringLiteral("1   c(3)"));
    }
    EXPECT_EQ(list->rowCount(), 0);
}

} // namespace
