#include "tests/sdk/panefw/panetestsupport.h"

#include "logcapture.h"
#include "paneattributes.h"
#include "paneboxlayout.h"
#include "panecombobox.h"
#include "paneframewindow.h"
#include "panelabelwidget.h"
#include "panelineedit.h"
#include "panespaceritem.h"
#include "panestackedwidget.h"
#include "panewidget.h"

#include <QGraphicsLinearLayout>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct AnchorCase
{
    const char* anchor;
    QRectF expected; // inside a 200 x 100 parent with margins 10,5,10,5, child preferred 40 x 20
};

class AnchorTest : public ::testing::TestWithParam<AnchorCase>
{
};

TEST_P(AnchorTest, PlacesTheChildInsideTheParentMargins)
{
    PaneWidget parent;
    parent.setLayout(PaneWidget::Anchor);
    parent.setMargins(10, 5, 10, 5);
    parent.resize(200, 100);
    auto* child = new PaneWidget;
    child->setPreferredSize(40, 20);
    parent.addItem(child);
    ASSERT_TRUE(child->setAnchor(QString::fromLatin1(GetParam().anchor)));
    EXPECT_EQ(child->geometry(), GetParam().expected);
    // The anchor holds when the parent is resized.
    parent.resize(300, 100);
    const QRectF wider = child->geometry();
    parent.resize(200, 100);
    EXPECT_EQ(child->geometry(), GetParam().expected);
    EXPECT_GE(wider.right(), GetParam().expected.right());
}

INSTANTIATE_TEST_SUITE_P(Strings, AnchorTest,
                         ::testing::Values(AnchorCase{"Left:8|Right:10|Top:6|Bottom:0",
                                                      QRectF(18, 11, 162, 84)},
                                           AnchorCase{"Left:0|Top:4", QRectF(10, 9, 40, 20)},
                                           AnchorCase{"Right:0|Top:4", QRectF(150, 9, 40, 20)},
                                           AnchorCase{"Right:100|Bottom:0", QRectF(50, 75, 40, 20)},
                                           AnchorCase{"HCenter:0|VCenter:0", QRectF(80, 40, 40, 20)},
                                           AnchorCase{"HCenter:10|Top:0|Height:30", QRectF(90, 5, 40, 30)},
                                           AnchorCase{"Left:100-178|Top:30-60", QRectF(110, 35, 78, 30)},
                                           AnchorCase{"Right:178-100|Bottom:0", QRectF(12, 75, 78, 20)},
                                           AnchorCase{"Left:5|Width:50", QRectF(15, 5, 50, 20)}));

TEST(AnchorStringTest, MalformedAnchorsAreRefusedAndKeepTheOldOne)
{
    PaneWidget parent;
    parent.setLayout(PaneWidget::Anchor);
    parent.resize(100, 100);
    auto* child = new PaneWidget;
    parent.addItem(child);
    ASSERT_TRUE(child->setAnchor(QStringLiteral("Left:1|Top:2")));
    for (const char* bad : {"", "Left", "Left:", "Left:x", "Middle:3", "Left:1|Top", ":4", "Left:1e9"})
        EXPECT_FALSE(child->setAnchor(QString::fromLatin1(bad))) << bad;
    EXPECT_EQ(child->anchor(), QStringLiteral("Left:1|Top:2"));
    EXPECT_EQ(child->pos(), QPointF(1, 2));
}

TEST(AttributeParserTest, ColoursSizesMarginsAlignmentsAndFlags)
{
    EXPECT_EQ(PaneAttributes::parseColor(QStringLiteral("156,209,238")), QColor(156, 209, 238));
    EXPECT_EQ(PaneAttributes::parseColor(QStringLiteral(" 0, 112 ,192,128")), QColor(0, 112, 192, 128));
    EXPECT_EQ(PaneAttributes::parseColor(QStringLiteral("#ff6600")), QColor(255, 102, 0));
    for (const char* bad : {"", "1,2", "1,2,3,4,5", "256,0,0", "-1,0,0", "a,b,c", "#zzzzzz"})
        EXPECT_FALSE(PaneAttributes::parseColor(QString::fromLatin1(bad)).has_value()) << bad;

    EXPECT_EQ(PaneAttributes::parseSize(QStringLiteral("518,528")), QSizeF(518, 528));
    EXPECT_EQ(PaneAttributes::parseSize(QStringLiteral("-4,99999")), QSizeF(0, 8192));
    EXPECT_FALSE(PaneAttributes::parseSize(QStringLiteral("518")).has_value());
    EXPECT_FALSE(PaneAttributes::parseSize(QStringLiteral("nan,3")).has_value());
    EXPECT_FALSE(PaneAttributes::parseSize(QStringLiteral("inf,3")).has_value());

    EXPECT_EQ(PaneAttributes::parseMargins(QStringLiteral("27,0,13,0")), QMarginsF(27, 0, 13, 0));
    EXPECT_EQ(PaneAttributes::parseMargins(QStringLiteral("4")), QMarginsF(4, 4, 4, 4));
    EXPECT_FALSE(PaneAttributes::parseMargins(QStringLiteral("1,2,3")).has_value());

    EXPECT_EQ(PaneAttributes::parseAlignment(QStringLiteral("AlignHCenter|AlignVCenter")), Qt::AlignCenter);
    EXPECT_EQ(PaneAttributes::parseAlignment(QStringLiteral("Qt::AlignRight")), Qt::AlignRight);
    EXPECT_FALSE(PaneAttributes::parseAlignment(QStringLiteral("AlignLeft|Nowhere")).has_value());
    EXPECT_FALSE(PaneAttributes::parseAlignment(QStringLiteral("|")).has_value());

    EXPECT_EQ(PaneAttributes::parseBool(QStringLiteral("TRUE")), true);
    EXPECT_EQ(PaneAttributes::parseBool(QStringLiteral("0")), false);
    EXPECT_FALSE(PaneAttributes::parseBool(QStringLiteral("maybe")).has_value());
}

TEST(PaneWidgetTest, RemovedItemsAreHiddenAndNoLongerTakeRoom)
{
    PaneWidget box;
    box.setLayout(PaneWidget::VBox);
    box.resize(100, 200);
    auto* first = new PaneWidget;
    auto* second = new PaneWidget;
    first->setFixHeight(30);
    second->setFixHeight(30);
    box.addItem(first);
    box.addItem(second);
    box.activateLayouts();
    EXPECT_EQ(second->pos().y(), 30);
    box.removeItem(first);
    box.activateLayouts();
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(first->parentItem(), &box);
    EXPECT_EQ(box.boxLayout()->count(), 1);
    EXPECT_EQ(second->pos().y(), 0);
}

TEST(PaneWidgetTest, SwitchingLayoutsKeepsTheChildrenInOrder)
{
    PaneWidget box;
    box.setFixSize(100, 100);
    auto* a = new PaneWidget;
    auto* b = new PaneWidget;
    a->setFixSize(20, 20);
    b->setFixSize(20, 20);
    box.addItem(a);
    box.addItem(b);
    box.addItem(new PaneSpacerItem); // gives the row the box's full height
    box.setLayout(PaneWidget::HBox);
    box.activateLayouts();
    EXPECT_EQ(b->pos(), QPointF(20, 40));
    box.setLayout(PaneWidget::Anchor);
    EXPECT_EQ(box.boxLayout(), nullptr);
    EXPECT_EQ(a->parentItem(), &box);
    ASSERT_TRUE(b->setAnchor(QStringLiteral("Right:0|Bottom:0")));
    EXPECT_EQ(b->pos(), QPointF(80, 80));
}

// A box whose owner set a layout of another kind keeps it: addItem neither mistakes it for a box
// layout nor replaces it (the owner holds a pointer to it).
TEST(PaneWidgetTest, ABoxWithItsOwnersLayoutKeepsIt)
{
    PaneWidget box;
    auto* own = new QGraphicsLinearLayout(Qt::Vertical);
    box.QGraphicsWidget::setLayout(own);
    auto* child = new PaneWidget;
    box.addItem(child);
    box.setMargins(1, 2, 3, 4);
    box.removeItem(child);
    EXPECT_EQ(box.layout(), own);
    EXPECT_EQ(box.boxLayout(), nullptr);
    EXPECT_EQ(own->count(), 0);
    delete child;
}

TEST(StackedWidgetTest, DeletingOrRemovingPagesKeepsAValidCurrentPage)
{
    PaneStackedWidget stack;
    stack.resize(50, 50);
    auto* p0 = new PaneWidget;
    auto* p1 = new PaneWidget;
    auto* p2 = new PaneWidget;
    stack.addItem(p0);
    stack.addItem(p1);
    stack.addItem(p2);
    QSignalSpy changes(&stack, &PaneStackedWidget::currentChanged);
    stack.setCurrentIndex(2);
    EXPECT_EQ(changes.count(), 1);
    stack.removeItem(p0);
    EXPECT_EQ(stack.count(), 2);
    EXPECT_EQ(stack.currentWidget(), p2);
    EXPECT_FALSE(p0->isVisible());
    delete p2;
    stack.setCurrentIndex(1);
    EXPECT_EQ(stack.count(), 1);
    EXPECT_EQ(stack.currentWidget(), p1);
    EXPECT_TRUE(p1->isVisible());
    stack.insertItem(0, p0);
    EXPECT_EQ(stack.currentWidget(), p1);
    EXPECT_EQ(stack.currentIndex(), 1);
    EXPECT_FALSE(p0->isVisible());
}

TEST(ComboBoxTest, EditableCanBeSwitchedOffAndOnAgain)
{
    PaneComboBox combo;
    combo.resize(100, 28);
    combo.addItem(QStringLiteral("one"));
    combo.addItem(QStringLiteral("two"));
    EXPECT_EQ(combo.currentIndex(), 0);
    combo.setEditable(true);
    ASSERT_NE(combo.lineEdit(), nullptr);
    EXPECT_EQ(combo.lineEdit()->text(), QStringLiteral("one"));
    combo.lineEdit()->setText(QStringLiteral("typed"));
    combo.setEditable(false);
    EXPECT_EQ(combo.lineEdit(), nullptr);
    EXPECT_EQ(combo.currentText(), QStringLiteral("one"));
    combo.setEditable(true);
    EXPECT_EQ(combo.currentText(), QStringLiteral("one"));
}

TEST(FrameWindowTest, MissingBackgroundIsLoggedAndTheWindowStillWorks)
{
    fenbase::LogCapture capture;
    PaneFrameWindow window;
    window.setBackgroundImage(QStringLiteral("/no/such/background.png"));
    EXPECT_TRUE(window.backgroundPixmap().isNull());
    EXPECT_TRUE(capture.contains("image not found: /no/such/background.png"));
    window.setFixSize(120, 80);
    EXPECT_EQ(window.rootWidget()->size(), QSizeF(120, 80));
    EXPECT_NE(window.hwnd(), WId(0));
    const QImage image = window.grab().toImage();
    EXPECT_EQ(image.size(), QSize(120, 80));
}

TEST(LabelTest, TextThatDoesNotFitIsElidedNotCut)
{
    PaneFrameWindow window;
    window.setFixSize(60, 30);
    auto* label = new PaneLabelWidget(QStringLiteral("a very long label text"));
    window.rootWidget()->addItem(label);
    window.relayout();
    EXPECT_LE(label->size().width(), 60);
    EXPECT_GT(label->effectiveSizeHint(Qt::PreferredSize).width(), 60);
    label->setText(QString());
    label->setPlaceholderText(QStringLiteral("hint"));
    EXPECT_GT(label->effectiveSizeHint(Qt::PreferredSize).width(), 0);
}

} // namespace
