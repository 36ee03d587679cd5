#include "tests/sdk/panefw/panetestsupport.h"

#include "logcapture.h"
#include "panecheckbox.h"
#include "panecombobox.h"
#include "panedynamiccreator.h"
#include "panefind.h"
#include "paneframeitemex.h"
#include "paneframewindow.h"
#include "paneimagewidget.h"
#include "panelabelwidget.h"
#include "panelayoutloader.h"
#include "panelineedit.h"
#include "paneprogressbar.h"
#include "panepushbutton.h"
#include "panescrollwidget.h"
#include "panespaceritem.h"
#include "panestackedwidget.h"

#include <QLineEdit>
#include <QGraphicsScene>
#include <QKeyEvent>
#include <QTest>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Uses every element and attribute of the format.
const char* const kFullLayout = R"(<?xml version="1.0" encoding="UTF-8"?>
<xmlui>
  <PaneFrameWindow objectName="fullWnd" fixSize="400,300" colorizePolicy="UnColorableFlag" frameStyle="FrameLess" backgroundImage="@bg">
    <PaneWidget objectName="root" layout="VBox" spacing="4" margins="10,6,10,6">
      <PaneWidget objectName="head" layout="HBox" fixHeight="30" spacing="0">
        <PaneSpacerItem objectName="lead" fixWidth="20"/>
        <PaneLabelWidget objectName="title" text="标题" font="微软雅黑" fontSize="12" bold="true" textColor="255,0,0" alignment="AlignLeft|AlignVCenter" fixWidth="100"/>
        <PaneLabelWidget objectName="link" text="链接" underlineOnHover="true" acceptClick="true" fixWidth="60"/>
        <PaneSpacerItem/>
        <PanePushButton objectName="closeBtn" fixSize="18,18" imagePath="@n|@h|@p|@d" alignment="AlignVCenter"/>
        <PanePushButton objectName="textBtn" fixSize="60,20" buttonStyle="4" text="记录" textColor="0,112,192"/>
      </PaneWidget>
      <PaneWidget objectName="plus1" layout="VBox" fixHeight="20">
        <PaneImageWidget objectName="plus1" fixSize="20,20" imagePath="@n"/>
      </PaneWidget>
      <PaneStackedWidget objectName="stack" fixHeight="150">
        <PaneWidget objectName="page0" layout="VBox">
          <PaneFrameItem objectName="nav" layout="HBox" fixHeight="32" imagePath="@n" frameType="NinePieces" colorizePolicy="UnColorableFlag">
            <PaneCheckBox objectName="checkAll" fixSize="18,18" imagePath="@n|@h|@p|@d|@c|@c|@c|@d"/>
            <PaneComboBox objectName="kind" fixSize="110,28" editable="false"/>
            <PaneComboBox objectName="limit" fixSize="75,28" editable="true"><ComboData><Item text="100"/><Item text="200"/><Item text="300"/></ComboData></PaneComboBox>
            <PaneLineEdit objectName="name" fixSize="100,28" placeholderText="名称" validator="\d{1,3}"/>
          </PaneFrameItem>
          <PaneScrollWidget objectName="scroll" fixHeight="60">
            <PaneWidget objectName="row0" layout="HBox" fixHeight="40">
              <PaneProgressBar objectName="bar" fixSize="150,24" textVisible="false" minimum="0" maximum="10" value="5" progressStripeImage="@n" progressImage="@c">
                <PaneLabelWidget objectName="barLabel" fixSize="60,20" x="10" y="2" placeholderText="无"/>
              </PaneProgressBar>
            </PaneWidget>
            <PaneWidget objectName="row1" layout="HBox" fixHeight="40"/>
          </PaneScrollWidget>
        </PaneWidget>
        <PaneWidget objectName="page1"/>
      </PaneStackedWidget>
      <PaneFrameItemEx objectName="vsBox" layout="Anchor" fixSize="200,50" acceptHover="true" imagePath="@n">
        <PaneLabelWidget objectName="leftName" fixSize="40,20" anchor="Left:0|Top:4"/>
        <PaneLabelWidget objectName="rightScore" anchor="Right:100-60|Top:30-50"/>
        <PaneWidget objectName="filler" anchor="Left:8|Right:10|Top:6|Bottom:0"/>
        <PaneImageWidget objectName="hidden" fixSize="10,10" x="5" y="7" visible="false"/>
      </PaneFrameItemEx>
    </PaneWidget>
  </PaneFrameWindow>
</xmlui>)";

class LayoutLoaderTest : public ::testing::Test
{
protected:
    QByteArray fullLayout()
    {
        QString xml = QString::fromUtf8(kFullLayout);
        xml.replace(QStringLiteral("@bg"), images.image(QStringLiteral("bg"), QColor(20, 40, 200), 40, 30));
        xml.replace(QStringLiteral("@n"), images.image(QStringLiteral("n"), Qt::green));
        xml.replace(QStringLiteral("@h"), images.image(QStringLiteral("h"), Qt::yellow));
        xml.replace(QStringLiteral("@p"), images.image(QStringLiteral("p"), Qt::red));
        xml.replace(QStringLiteral("@d"), images.image(QStringLiteral("d"), Qt::gray));
        xml.replace(QStringLiteral("@c"), images.image(QStringLiteral("c"), Qt::magenta));
        return xml.toUtf8();
    }

    std::unique_ptr<PaneFrameWindow> loadFull()
    {
        return std::unique_ptr<PaneFrameWindow>(PaneLayoutLoader::loadData(fullLayout()));
    }

    panetest::ImageDir images;
};

TEST_F(LayoutLoaderTest, EveryNamedWidgetIsFoundWithItsClass)
{
    fenbase::LogCapture capture;
    auto window = loadFull();
    ASSERT_NE(window, nullptr);
    struct Row
    {
        const char* name;
        const char* className;
    };
    const Row rows[] = {
        {"root", "PaneWidget"},          {"head", "PaneWidget"},         {"lead", "PaneSpacerItem"},
        {"title", "PaneLabelWidget"},    {"link", "PaneLabelWidget"},    {"closeBtn", "PanePushButton"},
        {"textBtn", "PanePushButton"},   {"stack", "PaneStackedWidget"}, {"nav", "PaneFrameItem"},
        {"checkAll", "PaneCheckBox"},    {"kind", "PaneComboBox"},       {"limit", "PaneComboBox"},
        {"name", "PaneLineEdit"},        {"scroll", "PaneScrollWidget"}, {"bar", "PaneProgressBar"},
        {"barLabel", "PaneLabelWidget"}, {"vsBox", "PaneFrameItemEx"},   {"hidden", "PaneImageWidget"},
        {"page1", "PaneWidget"},
    };
    for (const Row& row : rows) {
        QGraphicsObject* found =
            panefw::findChildByClass(window.get(), row.className, QString::fromLatin1(row.name));
        ASSERT_NE(found, nullptr) << row.name;
        EXPECT_STREQ(found->metaObject()->className(), row.className) << row.name;
    }
    EXPECT_EQ(window->objectName(), QStringLiteral("fullWnd"));
    EXPECT_EQ(window->size(), QSize(400, 300));
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_FALSE(window->backgroundPixmap().isNull());
    // The layout uses only known attributes with good values: nothing to complain about.
    for (const auto& record : capture.records())
        EXPECT_EQ(record.text.find("skipped"), std::string::npos) << record.text;
}

TEST_F(LayoutLoaderTest, AttributesReachTheWidgets)
{
    auto window = loadFull();
    ASSERT_NE(window, nullptr);
    auto* title = panefw::findChild<PaneLabelWidget>(window.get(), QStringLiteral("title"));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), QStringLiteral("标题"));
    EXPECT_EQ(title->textColor(), QColor(255, 0, 0));
    EXPECT_TRUE(title->font().bold());
    EXPECT_EQ(title->font().pixelSize(), 12);
    EXPECT_EQ(title->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
    EXPECT_EQ(title->size().width(), 100);

    auto* link = panefw::findChild<PaneLabelWidget>(window.get(), QStringLiteral("link"));
    EXPECT_TRUE(link->acceptClick());
    EXPECT_TRUE(link->underlineOnHover());

    auto* textBtn = panefw::findChild<PanePushButton>(window.get(), QStringLiteral("textBtn"));
    EXPECT_EQ(textBtn->buttonStyle(), PanePushButton::TextOnly);
    EXPECT_EQ(textBtn->textColor(), QColor(0, 112, 192));
    EXPECT_EQ(panefw::findChild<PanePushButton>(window.get(), QStringLiteral("closeBtn"))->images().size(),
              4);

    auto* nav = panefw::findChild<PaneFrameItem>(window.get(), QStringLiteral("nav"));
    EXPECT_EQ(nav->frameType(), PaneFrameItem::NinePieces);
    EXPECT_EQ(nav->colorizePolicy(), PaneWidget::UnColorableFlag);

    auto* limit = panefw::findChild<PaneComboBox>(window.get(), QStringLiteral("limit"));
    ASSERT_EQ(limit->count(), 3);
    EXPECT_EQ(limit->itemText(2), QStringLiteral("300"));
    ASSERT_NE(limit->lineEdit(), nullptr);
    EXPECT_EQ(limit->currentText(), QStringLiteral("100"));
    EXPECT_EQ(panefw::findChild<PaneComboBox>(window.get(), QStringLiteral("kind"))->lineEdit(), nullptr);

    auto* name = panefw::findChild<PaneLineEdit>(window.get(), QStringLiteral("name"));
    EXPECT_EQ(name->placeholderText(), QStringLiteral("名称"));
    EXPECT_EQ(name->validatorRegExp().pattern(), QStringLiteral("\\d{1,3}"));

    auto* bar = panefw::findChild<PaneProgressBar>(window.get(), QStringLiteral("bar"));
    EXPECT_FALSE(bar->isTextVisible());
    EXPECT_EQ(bar->maximum(), 10);
    EXPECT_EQ(bar->value(), 5);
    EXPECT_DOUBLE_EQ(bar->fillRatio(), 0.5);
    EXPECT_FALSE(bar->progressImage().isEmpty());

    auto* vsBox = panefw::findChild<PaneFrameItemEx>(window.get(), QStringLiteral("vsBox"));
    EXPECT_TRUE(vsBox->acceptHover());
    EXPECT_FALSE(panefw::findChild<PaneImageWidget>(window.get(), QStringLiteral("hidden"))->isVisible());
}

TEST_F(LayoutLoaderTest, LookupPrefersTheMatchNearestTheRootAndTellsClassesApart)
{
    auto window = loadFull();
    ASSERT_NE(window, nullptr);
    auto* outer = panefw::findChild<PaneWidget>(window.get(), QStringLiteral("plus1"));
    auto* image = panefw::findChild<PaneImageWidget>(window.get(), QStringLiteral("plus1"));
    ASSERT_NE(outer, nullptr);
    ASSERT_NE(image, nullptr);
    EXPECT_STREQ(outer->metaObject()->className(), "PaneWidget");
    EXPECT_EQ(image->parentItem(), outer);
    EXPECT_EQ(panefw::findChildren<PaneWidget>(window.get(), QStringLiteral("plus1")).size(), 2);
    EXPECT_EQ(panefw::findChild<PanePushButton>(window.get(), QStringLiteral("plus1")), nullptr);
    EXPECT_EQ(panefw::findChild<PaneWidget>(window.get(), QStringLiteral("absent")), nullptr);
    EXPECT_EQ(panefw::findChild<PaneWidget>(static_cast<PaneFrameWindow*>(nullptr), QStringLiteral("root")),
              nullptr);
    // Lookups work from any widget, on hidden pages too.
    auto* stack = panefw::findChild<PaneStackedWidget>(window.get(), QStringLiteral("stack"));
    EXPECT_NE(panefw::findChild<PaneWidget>(stack, QStringLiteral("page1")), nullptr);
    EXPECT_EQ(panefw::findChildren<PaneComboBox>(stack).size(), 2);
}

TEST_F(LayoutLoaderTest, BoxesAndAnchorsPlaceChildren)
{
    auto window = loadFull();
    ASSERT_NE(window, nullptr);
    auto* root = panefw::findChild<PaneWidget>(window.get(), QStringLiteral("root"));
    // Fixed-height children leave the box no taller than they need.
    EXPECT_EQ(root->geometry(), QRectF(0, 0, 400, 274));
    auto* head = panefw::findChild<PaneWidget>(window.get(), QStringLiteral("head"));
    EXPECT_EQ(head->geometry(), QRectF(10, 6, 380, 30));
    auto* title = panefw::findChild<PaneLabelWidget>(window.get(), QStringLiteral("title"));
    EXPECT_EQ(title->geometry().topLeft(), QPointF(20, 0));
    // The flexible spacer pushes the two buttons to the right end.
    auto* textBtn = panefw::findChild<PanePushButton>(window.get(), QStringLiteral("textBtn"));
    EXPECT_EQ(textBtn->geometry().right(), 380);
    auto* closeBtn = panefw::findChild<PanePushButton>(window.get(), QStringLiteral("closeBtn"));
    EXPECT_EQ(closeBtn->geometry(), QRectF(302, 6, 18, 18));

    auto* vsBox = panefw::findChild<PaneFrameItemEx>(window.get(), QStringLiteral("vsBox"));
    EXPECT_EQ(panefw::findChild<PaneLabelWidget>(vsBox, QStringLiteral("leftName"))->geometry(),
              QRectF(0, 4, 40, 20));
    EXPECT_EQ(panefw::findChild<PaneLabelWidget>(vsBox, QStringLiteral("rightScore"))->geometry(),
              QRectF(100, 30, 40, 20));
    EXPECT_EQ(panefw::findChild<PaneWidget>(vsBox, QStringLiteral("filler"))->geometry(),
              QRectF(8, 6, 182, 44));
    EXPECT_EQ(panefw::findChild<PaneImageWidget>(vsBox, QStringLiteral("hidden"))->pos(), QPointF(5, 7));

    auto* barLabel = panefw::findChild<PaneLabelWidget>(window.get(), QStringLiteral("barLabel"));
    EXPECT_EQ(barLabel->geometry(), QRectF(10, 2, 60, 20));
}

TEST_F(LayoutLoaderTest, StackedWidgetShowsOnlyItsCurrentPage)
{
    auto window = loadFull();
    auto* stack = panefw::findChild<PaneStackedWidget>(window.get(), QStringLiteral("stack"));
    ASSERT_EQ(stack->count(), 2);
    EXPECT_EQ(stack->currentIndex(), 0);
    QGraphicsWidget* page0 = stack->widget(0);
    QGraphicsWidget* page1 = stack->widget(1);
    EXPECT_TRUE(page0->isVisible());
    EXPECT_FALSE(page1->isVisible());
    stack->setCurrentIndex(1);
    EXPECT_FALSE(page0->isVisible());
    EXPECT_TRUE(page1->isVisible());
    EXPECT_EQ(page1->size(), stack->size());
    stack->setCurrentIndex(7);
    EXPECT_EQ(stack->currentIndex(), 1);
}

TEST_F(LayoutLoaderTest, HiddenWidgetsTakeNoRoomAndOverflowingContentKeepsItsSize)
{
    const QByteArray xml = R"(<xmlui><PaneFrameWindow fixSize="200,200">
      <PaneWidget objectName="row" layout="HBox" fixHeight="20">
        <PaneSpacerItem objectName="gap" fixWidth="30"/>
        <PaneLabelWidget objectName="a" fixWidth="40"/>
        <PaneLabelWidget objectName="b" fixWidth="40"/>
        <PaneSpacerItem/>
      </PaneWidget>
      <PaneWidget objectName="band" layout="VBox" fixHeight="1">
        <PaneWidget objectName="tall" layout="VBox" fixHeight="108"/>
      </PaneWidget>
      <PaneSpacerItem/>
    </PaneFrameWindow></xmlui>)";
    std::unique_ptr<PaneFrameWindow> window(PaneLayoutLoader::loadData(xml));
    ASSERT_NE(window, nullptr);
    auto* a = panefw::findChild<PaneLabelWidget>(window.get(), QStringLiteral("a"));
    auto* b = panefw::findChild<PaneLabelWidget>(window.get(), QStringLiteral("b"));
    EXPECT_EQ(b->geometry().left(), 70);
    a->hide();
    window->rootWidget()->activateLayouts();
    EXPECT_EQ(b->geometry().left(), 30);
    auto* tall = panefw::findChild<PaneWidget>(window.get(), QStringLiteral("tall"));
    EXPECT_EQ(tall->size().height(), 108);
}

TEST_F(LayoutLoaderTest, BadValuesLeaveTheWidgetAsItWas)
{
    const QByteArray xml = R"(<xmlui><PaneFrameWindow fixSize="100,100">
      <PaneLabelWidget objectName="l" visible="maybe" textColor="1,2" fixWidth="-" alignment="Up"/>
    </PaneFrameWindow></xmlui>)";
    std::unique_ptr<PaneFrameWindow> window(PaneLayoutLoader::loadData(xml));
    ASSERT_NE(window, nullptr);
    auto* label = panefw::findChild<PaneLabelWidget>(window.get(), QStringLiteral("l"));
    const PaneLabelWidget fresh;
    EXPECT_TRUE(label->isVisible());
    EXPECT_EQ(label->textColor(), fresh.textColor());
    EXPECT_EQ(label->alignment(), fresh.alignment());
    EXPECT_EQ(label->maximumWidth(), fresh.maximumWidth());
}

TEST_F(LayoutLoaderTest, GrowingTheFirstItemOfAnOverflowingBandMovesTheOnesAfterIt)
{
    const QByteArray xml = R"(<xmlui><PaneFrameWindow fixSize="518,400">
      <PaneWidget objectName="band" layout="VBox" fixHeight="1">
        <PaneWidget objectName="plus1" layout="VBox" fixHeight="108"><PaneSpacerItem fixHeight="90"/></PaneWidget>
        <PaneWidget layout="HBox"><PaneSpacerItem fixWidth="367"/><PaneImageWidget objectName="plus1" fixSize="35,48"/></PaneWidget>
      </PaneWidget>
      <PaneSpacerItem/>
    </PaneFrameWindow></xmlui>)";
    std::unique_ptr<PaneFrameWindow> window(PaneLayoutLoader::loadData(xml));
    ASSERT_NE(window, nullptr);
    auto* mover = panefw::findChild<PaneWidget>(window.get(), QStringLiteral("plus1"));
    auto* image = panefw::findChild<PaneImageWidget>(window.get(), QStringLiteral("plus1"));
    ASSERT_NE(mover, image);
    EXPECT_EQ(image->mapToScene(QPointF()).toPoint(), QPoint(367, 108));
    mover->setFixHeight(35 * 3 + 108);
    window->relayout();
    EXPECT_EQ(image->mapToScene(QPointF()).toPoint(), QPoint(367, 213));
}

TEST_F(LayoutLoaderTest, LoadsFromFilesAndRefusesMissingOnes)
{
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    file.write(fullLayout());
    file.close();
    std::unique_ptr<PaneFrameWindow> window(PaneLayoutLoader::loadFile(file.fileName()));
    EXPECT_NE(window, nullptr);

    fenbase::LogCapture capture;
    EXPECT_EQ(PaneLayoutLoader::loadFile(QStringLiteral("/nonexistent/layout.xml")), nullptr);
    EXPECT_TRUE(capture.contains("cannot be opened"));
}

QGraphicsWidget* makeRegisteredBox(QGraphicsItem* parent)
{
    auto* box = new PaneFrameItemEx(parent);
    box->setObjectName(QStringLiteral("madeByFactory"));
    return box;
}

TEST_F(LayoutLoaderTest, UnknownClassesComeFromTheRegistry)
{
    const QByteArray xml = R"(<xmlui><PaneFrameWindow fixSize="100,100">
      <TestRegisteredBox objectName="custom" fixHeight="30"><PaneLabelWidget objectName="inside"/></TestRegisteredBox>
    </PaneFrameWindow></xmlui>)";
    ASSERT_TRUE(PaneDynamicCreator::registerClass(QStringLiteral("TestRegisteredBox"), &makeRegisteredBox));
    EXPECT_FALSE(PaneDynamicCreator::registerClass(QStringLiteral("TestRegisteredBox"), &makeRegisteredBox));
    EXPECT_FALSE(PaneDynamicCreator::registerClass(QStringLiteral("PaneWidget"), &makeRegisteredBox));
    EXPECT_FALSE(PaneDynamicCreator::registerClass(QStringLiteral("Nothing"), nullptr));
    {
        fenbase::LogCapture capture;
        std::unique_ptr<PaneFrameWindow> window(PaneLayoutLoader::loadData(xml));
        ASSERT_NE(window, nullptr);
        auto* custom = panefw::findChild<PaneFrameItemEx>(window.get(), QStringLiteral("custom"));
        ASSERT_NE(custom, nullptr);
        EXPECT_EQ(custom->size().height(), 30);
        EXPECT_NE(panefw::findChild<PaneLabelWidget>(custom, QStringLiteral("inside")), nullptr);
        EXPECT_TRUE(capture.contains("TestRegisteredBox::dynamicCreateObjectTestRegisteredBox took"));
    }
    EXPECT_TRUE(PaneDynamicCreator::unregisterClass(QStringLiteral("TestRegisteredBox")));
    EXPECT_FALSE(PaneDynamicCreator::unregisterClass(QStringLiteral("TestRegisteredBox")));

    fenbase::LogCapture capture;
    std::unique_ptr<PaneFrameWindow> window(PaneLayoutLoader::loadData(xml));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(panefw::findChild<PaneLabelWidget>(window.get(), QStringLiteral("inside")), nullptr);
    EXPECT_TRUE(capture.contains("unknown class TestRegisteredBox skipped"));
}

QByteArray nested(int depth)
{
    QByteArray xml = "<xmlui><PaneFrameWindow>";
    for (int i = 0; i < depth; ++i)
        xml += "<PaneWidget>";
    for (int i = 0; i < depth; ++i)
        xml += "</PaneWidget>";
    return xml + "</PaneFrameWindow></xmlui>";
}

struct HostileCase
{
    const char* name;
    QByteArray xml;
    bool windowExpected;
    const char* logText;
};

class HostileLayoutTest : public ::testing::TestWithParam<HostileCase>
{
};

TEST_P(HostileLayoutTest, IsHandledWithALogLine)
{
    const HostileCase& c = GetParam();
    fenbase::LogCapture capture;
    std::unique_ptr<PaneFrameWindow> window(
        PaneLayoutLoader::loadData(c.xml, nullptr, QStringLiteral("hostile")));
    EXPECT_EQ(window != nullptr, c.windowExpected);
    EXPECT_TRUE(capture.contains(c.logText)) << "no log line containing: " << c.logText;
    if (window) {
        for (auto* widget : panefw::findChildren<PaneWidget>(window.get())) {
            EXPECT_LE(widget->size().width(), PaneLayoutLoader::kMaxExtent);
            EXPECT_LE(widget->size().height(), PaneLayoutLoader::kMaxExtent);
        }
    }
}

const QByteArray kWellFormedStart = "<xmlui><PaneFrameWindow fixSize=\"100,100\">";
const QByteArray kWellFormedEnd = "</PaneFrameWindow></xmlui>";

INSTANTIATE_TEST_SUITE_P(
    Layouts, HostileLayoutTest,
    ::testing::Values(
        HostileCase{"Empty", "", false, "is broken"},
        HostileCase{"Truncated", kWellFormedStart + "<PaneWidget objectName=\"a\"><PaneLab", false,
                    "is broken"},
        HostileCase{"MismatchedTags", kWellFormedStart + "<PaneWidget></PaneLabelWidget>" + kWellFormedEnd,
                    false, "is broken"},
        HostileCase{"WrongRoot", "<layout><PaneFrameWindow/></layout>", false, "root element must be xmlui"},
        HostileCase{"NoWindow", "<xmlui><PaneWidget/></xmlui>", false, "must hold a PaneFrameWindow"},
        HostileCase{"DeepNesting", nested(200), false, "nested deeper than 64"},
        HostileCase{"NestingAtTheLimit", nested(62), true, "PaneLayoutLoader::loadData took"},
        HostileCase{"EntityExpansion",
                    "<!DOCTYPE x [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;\">]>" +
                        kWellFormedStart + "<PaneLabelWidget text=\"&b;&b;&b;\"/>" + kWellFormedEnd,
                    false, "declares a document type"},
        HostileCase{"UnknownClass",
                    kWellFormedStart + "<NoSuchWidget><PaneWidget/></NoSuchWidget>" + kWellFormedEnd, true,
                    "unknown class NoSuchWidget skipped"},
        HostileCase{"UnknownAttribute", kWellFormedStart + "<PaneWidget colour=\"red\"/>" + kWellFormedEnd,
                    true, "unknown attribute colour=\"red\" of PaneWidget skipped"},
        HostileCase{"AttributeOfAnotherClass", kWellFormedStart + "<PaneWidget text=\"x\"/>" + kWellFormedEnd,
                    true, "unknown attribute text=\"x\" of PaneWidget skipped"},
        HostileCase{"AbsurdSize", kWellFormedStart + "<PaneWidget fixSize=\"99999999,-5\"/>" + kWellFormedEnd,
                    true, "PaneLayoutLoader::loadData took"},
        HostileCase{"AbsurdWindowSize", "<xmlui><PaneFrameWindow fixSize=\"1e12,1e12\"/></xmlui>", true,
                    "PaneLayoutLoader::loadData took"},
        HostileCase{"NotANumber", kWellFormedStart + "<PaneWidget fixWidth=\"wide\"/>" + kWellFormedEnd, true,
                    "bad value for attribute fixWidth=\"wide\""},
        HostileCase{"BadAnchor",
                    kWellFormedStart +
                        "<PaneWidget layout=\"Anchor\"><PaneWidget anchor=\"Left=3\"/></PaneWidget>" +
                        kWellFormedEnd,
                    true, "bad value for attribute anchor=\"Left=3\""},
        HostileCase{"BadColour",
                    kWellFormedStart + "<PaneLabelWidget textColor=\"300,0,0\"/>" + kWellFormedEnd, true,
                    "bad value for attribute textColor"},
        HostileCase{"BadFlag", kWellFormedStart + "<PaneLabelWidget visible=\"maybe\"/>" + kWellFormedEnd,
                    true, "bad value for attribute visible=\"maybe\""},
        HostileCase{"BadAlignment",
                    kWellFormedStart + "<PaneLabelWidget alignment=\"AlignSideways\"/>" + kWellFormedEnd,
                    true, "bad value for attribute alignment"},
        HostileCase{"BadValidator", kWellFormedStart + "<PaneLineEdit validator=\"(\"/>" + kWellFormedEnd,
                    true, "bad value for attribute validator"},
        HostileCase{"MissingImage",
                    kWellFormedStart + "<PaneImageWidget imagePath=\"/no/such/image.png\"/>" + kWellFormedEnd,
                    true, "image not found: /no/such/image.png"},
        HostileCase{"ComboDataOutsideACombo",
                    kWellFormedStart + "<PaneWidget><ComboData><Item text=\"a\"/></ComboData></PaneWidget>" +
                        kWellFormedEnd,
                    true, "ComboData outside a PaneComboBox skipped"},
        HostileCase{"TooManyChildren",
                    kWellFormedStart +
                        QByteArray("<PaneSpacerItem/>").repeated(PaneLayoutLoader::kMaxChildren + 1) +
                        kWellFormedEnd,
                    false, "more than 1000 children in one element"},
        HostileCase{"TooManyElements",
                    kWellFormedStart +
                        ("<PaneWidget>" + QByteArray("<PaneSpacerItem/>").repeated(999) + "</PaneWidget>")
                            .repeated(6) +
                        kWellFormedEnd,
                    false, "more than 5000 elements"}),
    [](const ::testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

} // namespace

namespace {

// The widgets under widget that Tab stops at, in tree order: each, then its children's subtrees.
void collectTabStops(QGraphicsWidget* widget, QList<QGraphicsItem*>* out)
{
    for (QGraphicsItem* child : widget->childItems()) {
        if (!child->isWidget())
            continue;
        auto* childWidget = static_cast<QGraphicsWidget*>(child);
        QGraphicsItem* stop = childWidget->focusProxy() ? childWidget->focusProxy() : childWidget;
        const bool takesTab = (childWidget->focusPolicy() & Qt::TabFocus) && childWidget->isVisible() &&
                              childWidget->isEnabled();
        if (takesTab && !out->contains(stop))
            out->append(stop);
        collectTabStops(childWidget, out);
    }
}

} // namespace

// Tab goes through the focusable widgets in document order, and the window's widgets are active.
TEST_F(LayoutLoaderTest, TabFollowsTheDocumentAndTheWidgetsAreActive)
{
    const QByteArray field = "<PaneLineEdit fixSize=\"60,20\"/>";
    const QByteArray xml = "<xmlui><PaneFrameWindow fixSize=\"400,300\"><PaneWidget layout=\"VBox\">" +
                           field + "<PaneWidget layout=\"HBox\" fixHeight=\"30\">" + field + field +
                           "<PaneComboBox fixSize=\"60,20\" editable=\"true\"/></PaneWidget>" +
                           "<PaneScrollWidget fixHeight=\"80\">" + field + field + "</PaneScrollWidget>" +
                           field + "</PaneWidget></PaneFrameWindow></xmlui>";
    std::unique_ptr<PaneFrameWindow> window(PaneLayoutLoader::loadData(xml));
    ASSERT_NE(window, nullptr);
    PaneWidget* root = window->rootWidget();
    QList<QGraphicsItem*> expected;
    collectTabStops(root, &expected);
    ASSERT_EQ(expected.size(), 7);
    panetest::showAndWait(window.get());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_TRUE(root->isActive());
    QGraphicsScene* scene = root->scene();
    EXPECT_EQ(scene->activePanel(), nullptr);
    QList<QGraphicsItem*> visited;
    for (int i = 0; i < expected.size(); ++i) {
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QCoreApplication::sendEvent(scene, &tab);
        visited.append(scene->focusItem());
    }
    EXPECT_EQ(visited, expected);
}
