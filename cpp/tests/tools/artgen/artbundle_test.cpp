// The resource bundle as the add-on sees it: every image the windows name,
// at the size their layouts give it, under ":/image/theme/quorix/image/".

#include "tests/tools/artgen/guiapp.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QResource>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

const QString kImages = QStringLiteral(":/image/theme/quorix/image/");

QImage bundled(const QString& name)
{
    return QImage(kImages + name).convertToFormat(QImage::Format_ARGB32);
}

struct Expected
{
    const char* name;
    int width;  // 0: free
    int height; // 0: free
};

// The image inventory. Row and nine-piece images have a free width; the
// group panel a free height.
const Expected kInventory[] = {
    {"vote_normal.png", 32, 32},
    {"icon_toupiao.png", 18, 18},
    {"but_minimize_nomal.png", 18, 18},
    {"but_close_nomal.png", 18, 18},
    {"but_close_hover.png", 18, 18},
    {"but_close_press.png", 18, 18},
    {"toupiao_bg1.png", 518, 528},
    {"toupiao_title.png", 337, 126},
    {"normalvote_but01.png", 86, 28},
    {"normalvote_but02.png", 86, 28},
    {"normalvote_but03.png", 86, 28},
    {"normalvote_but04.png", 86, 28},
    {"voteProgBkg.png", 367, 28},
    {"voteProg.png", 367, 28},
    {"first.png", 27, 27},
    {"second.png", 27, 27},
    {"other.png", 27, 27},
    {"1_01.png", 35, 48},
    {"1_02.png", 35, 48},
    {"1_03.png", 35, 48},
    {"1_04.png", 35, 48},
    {"1_05.png", 35, 48},
    {"voteClock-0428_15.png", 35, 30},
    {"toupiao_bg.png", 518, 540},
    {"vs.png", 462, 90},
    {"win_left.png", 78, 68},
    {"win_right.png", 78, 68},
    {"group_bg.png", 465, 0},
    {"voteGroupPro.png", 150, 24},
    {"voteGroupProBg.png", 150, 24},
    {"voteGroup_but01.png", 44, 24},
    {"voteGroup_but02.png", 44, 24},
    {"voteGroup_but03.png", 44, 24},
    {"voteGroup_but04.png", 44, 24},
    {"JudgeVote_bg.png", 518, 368},
    {"Judged.png", 96, 156},
    {"1point.png", 62, 62},
    {"2point.png", 62, 62},
    {"3point.png", 62, 62},
    {"4point.png", 62, 62},
    {"5point.png", 62, 62},
    {"point_bg.png", 106, 175},
    {"vote-1.png", 32, 32},
    {"vote-2.png", 32, 32},
    {"vote-3.png", 32, 32},
    {"vote-4.png", 32, 32},
    {"vote-5.png", 32, 32},
    {"vote-hover.png", 106, 32},
    {"judge_but01.png", 74, 28},
    {"judge_but02.png", 74, 28},
    {"judge_but03.png", 74, 28},
    {"sure_but01.png", 74, 28},
    {"sure_but02.png", 74, 28},
    {"sure_but03.png", 74, 28},
    {"bg01.png", 518, 339},
    {"bg.png", 518, 339},
    {"but_putong_nomal.png", 130, 130},
    {"but_putong_hover.png", 130, 130},
    {"but_putong_press.png", 130, 130},
    {"but_duizhan_nomal.png", 130, 130},
    {"but_duizhan_hover.png", 130, 130},
    {"but_duizhan_press.png", 130, 130},
    {"but_pingwei_nomal.png", 130, 130},
    {"but_pingwei_hover.png", 130, 130},
    {"but_pingwei_press.png", 130, 130},
    {"nav_bg.png", 0, 32},
    {"but_back_nomal.png", 73, 32},
    {"but_back_hover.png", 73, 32},
    {"but_back_press.png", 73, 32},
    {"check_01.png", 18, 18},
    {"check_02.png", 18, 18},
    {"but_add_nomal.png", 90, 28},
    {"but_add_hover.png", 90, 28},
    {"but_add_press.png", 90, 28},
    {"but_add_gray.png", 90, 28},
    {"but_start_nomal.png", 90, 28},
    {"but_start_hover.png", 90, 28},
    {"but_start_press.png", 90, 28},
    {"but_start_gray.png", 90, 28},
    {"but_bianji_close_nomal.png", 22, 22},
    {"but_bianji_close_hover.png", 22, 22},
    {"but_bianji_close_press.png", 22, 22},
    {"list_row_normal1.png", 0, 30},
    {"list_row_normal2.png", 0, 30},
    {"list_row_active.png", 0, 30},
    {"list_row_chosen.png", 0, 30},
    {"line_hover_bg.png", 0, 30},
};

// Mean absolute difference per channel, alpha included, over two same-sized images.
double meanDifference(const QImage& a, const QImage& b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q)) + std::abs(qAlpha(p) - qAlpha(q));
        }
    }
    return sum / (4.0 * a.width() * a.height());
}

class ArtBundle : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { ensureGuiApp(); }
};

TEST_F(ArtBundle, HoldsEveryInventoryImageAtItsSize)
{
    for (const Expected& item : kInventory) {
        SCOPED_TRACE(item.name);
        const QImage image = bundled(QString::fromLatin1(item.name));
        ASSERT_FALSE(image.isNull());
        if (item.width != 0) {
            EXPECT_EQ(image.width(), item.width);
        }
        if (item.height != 0) {
            EXPECT_EQ(image.height(), item.height);
        }
        EXPECT_TRUE(image.hasAlphaChannel());
    }
}

TEST_F(ArtBundle, HoldsNothingBeyondTheInventory)
{
    QStringList expected;
    for (const Expected& item : kInventory) {
        expected << QString::fromLatin1(item.name);
    }
    expected.sort();
    QStringList present = QDir(kImages).entryList(QDir::Files);
    present.sort();
    EXPECT_EQ(present, expected);
    // The judge window asks for this one for unscored cards and must find nothing.
    EXPECT_FALSE(QFile::exists(kImages + QStringLiteral("JudgingBg.png")));
    EXPECT_TRUE(QImage(kImages + QStringLiteral("JudgingBg.png")).isNull());
}

TEST_F(ArtBundle, StatesOfOneButtonDifferVisibly)
{
    const std::vector<QStringList> families = {
        {"normalvote_but01.png", "normalvote_but02.png", "normalvote_but03.png", "normalvote_but04.png"},
        {"voteGroup_but01.png", "voteGroup_but02.png", "voteGroup_but03.png", "voteGroup_but04.png"},
        {"judge_but01.png", "judge_but02.png", "judge_but03.png"},
        {"sure_but01.png", "sure_but02.png", "sure_but03.png"},
        {"but_close_nomal.png", "but_close_hover.png", "but_close_press.png"},
        {"but_putong_nomal.png", "but_putong_hover.png", "but_putong_press.png"},
        {"but_duizhan_nomal.png", "but_duizhan_hover.png", "but_duizhan_press.png"},
        {"but_pingwei_nomal.png", "but_pingwei_hover.png", "but_pingwei_press.png"},
        {"but_back_nomal.png", "but_back_hover.png", "but_back_press.png"},
        {"check_01.png", "check_02.png"},
        {"but_add_nomal.png", "but_add_hover.png", "but_add_press.png", "but_add_gray.png"},
        {"but_start_nomal.png", "but_start_hover.png", "but_start_press.png", "but_start_gray.png"},
        {"but_bianji_close_nomal.png", "but_bianji_close_hover.png", "but_bianji_close_press.png"},
        // Striping stays subtle; hovering or choosing a row must stand out from either stripe.
        {"list_row_normal1.png", "list_row_active.png", "list_row_chosen.png"},
        {"list_row_normal2.png", "list_row_active.png", "list_row_chosen.png"},
    };
    // About 2% of full scale on average: a state that differs only in a
    // handful of pixels would not be noticed by the user.
    const double kVisible = 5.0;
    for (const QStringList& family : families) {
        for (int i = 0; i < family.size(); ++i) {
            for (int j = i + 1; j < family.size(); ++j) {
                SCOPED_TRACE((family[i] + " vs " + family[j]).toStdString());
                const QImage a = bundled(family[i]);
                const QImage b = bundled(family[j]);
                ASSERT_EQ(a.size(), b.size());
                EXPECT_GT(meanDifference(a, b), kVisible);
            }
        }
    }
}

TEST_F(ArtBundle, PlusOneFramesRiseAndFade)
{
    int previousTop = 1 << 30;
    int previousAlpha = 256;
    for (int frame = 1; frame <= 5; ++frame) {
        SCOPED_TRACE(frame);
        const QImage image = bundled(QStringLiteral("1_0%1.png").arg(frame));
        int top = -1;
        int strongest = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const int alpha = qAlpha(image.pixel(x, y));
                strongest = qMax(strongest, alpha);
                if (alpha > 0 && top < 0) {
                    top = y;
                }
            }
        }
        ASSERT_GE(top, 0);
        EXPECT_LT(top, previousTop);
        EXPECT_LE(strongest, previousAlpha);
        previousTop = top;
        previousAlpha = strongest;
    }
    EXPECT_LT(previousAlpha, 128);
}

TEST_F(ArtBundle, CarriesEveryLayoutCompressedAndIntact)
{
    const QDir sources(QString::fromUtf8(QUORIX_LAYOUT_DIR));
    const QStringList layouts = sources.entryList({QStringLiteral("*.xml")}, QDir::Files);
    QStringList bundled = QDir(QStringLiteral(":/layout/theme/quorix/layout")).entryList(QDir::Files);
    EXPECT_EQ(bundled.size(), layouts.size());
    for (const QString& name : layouts) {
        SCOPED_TRACE(name.toStdString());
        const QString path = QStringLiteral(":/layout/theme/quorix/layout/") + name;
        EXPECT_EQ(QResource(path).compressionAlgorithm(), QResource::ZlibCompression);
        QFile original(sources.filePath(name));
        QFile packed(path);
        ASSERT_TRUE(original.open(QIODevice::ReadOnly));
        ASSERT_TRUE(packed.open(QIODevice::ReadOnly));
        EXPECT_EQ(packed.readAll(), original.readAll());
    }
}

} // namespace
