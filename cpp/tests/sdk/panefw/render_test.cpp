#include "tests/sdk/panefw/panetestsupport.h"

#include "panecheckbox.h"
#include "panefind.h"
#include "paneframewindow.h"
#include "paneimagewidget.h"
#include "panelabelwidget.h"
#include "panelayoutloader.h"
#include "paneprogressbar.h"
#include "panepushbutton.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QColor kBackground(20, 40, 200);
const QColor kNormal(0, 200, 0);
const QColor kHover(250, 220, 0);
const QColor kPressed(220, 0, 0);
const QColor kDisabled(128, 128, 128);
const QColor kTrack(90, 90, 90);
const QColor kFill(230, 0, 230);

const char* const kRenderLayout = R"(<xmlui><PaneFrameWindow fixSize="240,160" backgroundImage="@bg">
  <PaneWidget layout="HBox" fixHeight="40">
    <PaneLabelWidget objectName="label" fixSize="80,40" text="投票投票" fontSize="20" bold="true" textColor="255,255,255" alignment="AlignCenter"/>
    <PanePushButton objectName="button" fixSize="40,30" imagePath="@n|@h|@p|@d"/>
    <PaneImageWidget objectName="empty" fixSize="30,30"/>
    <PaneLabelWidget objectName="link" fixSize="30,30" text="链接" textColor="255,255,255" underlineOnHover="true"/>
    <PaneCheckBox objectName="check" fixSize="20,20" imagePath="@n|@h|@p|@d|@fill|@fill|@fill|@fill"/>
    <PaneSpacerItem/>
  </PaneWidget>
  <PaneProgressBar objectName="bar" fixSize="200,20" textVisible="false" value="50" progressStripeImage="@track" progressImage="@fill"/>
  <PaneFrameItem objectName="frame" fixSize="120,50" imagePath="@nine" frameType="NinePieces"/>
  <PaneSpacerItem/>
</PaneFrameWindow></xmlui>)";

class RenderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString xml = QString::fromUtf8(kRenderLayout);
        xml.replace(QStringLiteral("@bg"), images.image(QStringLiteral("bg"), kBackground, 24, 16));
        xml.replace(QStringLiteral("@nine"), ninePieceImage());
        xml.replace(QStringLiteral("@n"), images.image(QStringLiteral("n"), kNormal));
        xml.replace(QStringLiteral("@h"), images.image(QStringLiteral("h"), kHover));
        xml.replace(QStringLiteral("@p"), images.image(QStringLiteral("p"), kPressed));
        xml.replace(QStringLiteral("@d"), images.image(QStringLiteral("d"), kDisabled));
        xml.replace(QStringLiteral("@track"), images.image(QStringLiteral("track"), kTrack));
        xml.replace(QStringLiteral("@fill"), images.image(QStringLiteral("fill"), kFill));
        window.reset(PaneLayoutLoader::loadData(xml.toUtf8()));
        ASSERT_NE(window, nullptr);
        panetest::showAndWait(window.get());
    }

    // 9 x 9: a red ring three pixels wide around a green centre.
    QString ninePieceImage()
    {
        const QString path = images.path(QStringLiteral("nine"));
        QImage image(9, 9, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QPainter(&image).fillRect(3, 3, 3, 3, Qt::green);
        image.save(path, "PNG");
        return path;
    }

    QImage grab() { return window->grab().toImage(); }

    // Colour at a point given in the widget's own coordinates.
    QColor pixel(const QImage& image, QGraphicsWidget* widget, QPointF local)
    {
        const QPoint at =
            panetest::viewPoint(window.get(), widget) - widget->rect().center().toPoint() + local.toPoint();
        return image.pixelColor(at);
    }

    QColor centre(QGraphicsWidget* widget) { return pixel(grab(), widget, widget->rect().center()); }

    panetest::ImageDir images;
    std::unique_ptr<PaneFrameWindow> window;
};

TEST_F(RenderTest, BackgroundLabelAndEmptyImageAreDrawn)
{
    const QImage image = grab();
    ASSERT_EQ(image.size(), QSize(240, 160));
    EXPECT_EQ(image.pixelColor(230, 150), kBackground);
    auto* empty = panefw::findChild<PaneImageWidget>(window.get(), QStringLiteral("empty"));
    EXPECT_EQ(pixel(image, empty, empty->rect().center()), kBackground);

    // White text on the blue background: some pixels of the label are nearly white.
    auto* label = panefw::findChild<PaneLabelWidget>(window.get(), QStringLiteral("label"));
    int light = 0;
    for (int x = 0; x < 80; ++x) {
        for (int y = 0; y < 40; ++y)
            light += pixel(image, label, QPointF(x, y)).lightness() > 200 ? 1 : 0;
    }
    EXPECT_GT(light, 40);
    label->setText(QString());
    const QImage cleared = grab();
    EXPECT_EQ(pixel(cleared, label, label->rect().center()), kBackground);
}

TEST_F(RenderTest, ButtonImageFollowsHoverPressAndDisable)
{
    auto* button = panefw::findChild<PanePushButton>(window.get(), QStringLiteral("button"));
    panetest::leave(window.get());
    EXPECT_EQ(centre(button), kNormal);
    panetest::hover(window.get(), button);
    EXPECT_EQ(centre(button), kHover);
    panetest::press(window.get(), button);
    EXPECT_EQ(centre(button), kPressed);
    panetest::release(window.get(), button);
    EXPECT_EQ(centre(button), kHover);
    button->setEnabled(false);
    EXPECT_EQ(centre(button), kDisabled);
    button->setEnabled(true);
    button->setButtonStyle(PanePushButton::TextOnly);
    EXPECT_EQ(centre(button), kBackground);
}

TEST_F(RenderTest, ButtonTextIsDrawnCentredOnItsImage)
{
    auto* button = panefw::findChild<PanePushButton>(window.get(), QStringLiteral("button"));
    panetest::leave(window.get());
    button->setText(QStringLiteral("票"));
    button->setTextColor(Qt::white);
    const QImage image = grab();
    int left = 0, right = 0, light = 0;
    for (int x = 0; x < 40; ++x) {
        for (int y = 0; y < 30; ++y) {
            const QColor c = pixel(image, button, QPointF(x, y));
            if (c.lightness() > 200) {
                ++light;
                (x < 20 ? left : right) += 1;
            }
        }
    }
    EXPECT_EQ(pixel(image, button, QPointF(1, 1)), kNormal);
    EXPECT_GT(light, 10);
    EXPECT_LT(qAbs(left - right), light / 2) << "text is not centred";
}

TEST_F(RenderTest, LinkLabelIsUnderlinedWhileHovered)
{
    auto* link = panefw::findChild<PaneLabelWidget>(window.get(), QStringLiteral("link"));
    panetest::leave(window.get());
    const QImage plain =
        grab().copy(QRect(panetest::viewPoint(window.get(), link) - QPoint(15, 15), QSize(30, 30)));
    panetest::hover(window.get(), link);
    ASSERT_TRUE(link->isHovered());
    const QImage hovered =
        grab().copy(QRect(panetest::viewPoint(window.get(), link) - QPoint(15, 15), QSize(30, 30)));
    EXPECT_NE(plain, hovered);
    panetest::leave(window.get());
    const QImage after =
        grab().copy(QRect(panetest::viewPoint(window.get(), link) - QPoint(15, 15), QSize(30, 30)));
    EXPECT_EQ(plain, after);
}

TEST_F(RenderTest, CheckBoxImageFollowsItsState)
{
    auto* check = panefw::findChild<PaneCheckBox>(window.get(), QStringLiteral("check"));
    panetest::leave(window.get());
    EXPECT_EQ(centre(check), kNormal);
    check->setCheckState(Qt::Checked);
    EXPECT_EQ(centre(check), kFill);
    check->setCheckState(Qt::Unchecked);
    check->setEnabled(false);
    EXPECT_EQ(centre(check), kDisabled);
}

TEST_F(RenderTest, ProgressFillCoversValueOverRange)
{
    auto* bar = panefw::findChild<PaneProgressBar>(window.get(), QStringLiteral("bar"));
    QImage image = grab();
    EXPECT_EQ(pixel(image, bar, QPointF(50, 10)), kFill);
    EXPECT_EQ(pixel(image, bar, QPointF(150, 10)), kTrack);
    bar->setValue(100);
    image = grab();
    EXPECT_EQ(pixel(image, bar, QPointF(195, 10)), kFill);
    bar->setValue(0);
    image = grab();
    EXPECT_EQ(pixel(image, bar, QPointF(5, 10)), kTrack);
}

TEST_F(RenderTest, StripePairStartingWithTheProgressImageIsReadAsFillThenTrack)
{
    auto* bar = panefw::findChild<PaneProgressBar>(window.get(), QStringLiteral("bar"));
    const QString fill = images.path(QStringLiteral("fill"));
    const QString track = images.path(QStringLiteral("track"));
    bar->setProgressStripeImage(fill + QLatin1Char('|') + track);
    const QImage image = grab();
    EXPECT_EQ(pixel(image, bar, QPointF(50, 10)), kFill);
    EXPECT_EQ(pixel(image, bar, QPointF(150, 10)), kTrack);
}

TEST_F(RenderTest, NinePieceFrameKeepsCornersAndStretchesTheCentre)
{
    auto* frame = panefw::findChild<PaneFrameItem>(window.get(), QStringLiteral("frame"));
    const QImage image = grab();
    EXPECT_EQ(pixel(image, frame, QPointF(1, 1)), QColor(Qt::red));
    EXPECT_EQ(pixel(image, frame, QPointF(60, 1)), QColor(Qt::red));
    EXPECT_EQ(pixel(image, frame, QPointF(118, 48)), QColor(Qt::red));
    EXPECT_EQ(pixel(image, frame, QPointF(60, 25)), QColor(Qt::green));
    EXPECT_EQ(pixel(image, frame, QPointF(10, 25)), QColor(Qt::green));
}

} // namespace
