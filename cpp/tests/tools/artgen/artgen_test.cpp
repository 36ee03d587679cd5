// The generator itself: its manifest, its catalog and what its drawings promise
// about legibility and stretching.

#include "tests/tools/artgen/guiapp.h"

#include "tools/artgen/artcatalog.h"
#include "tools/artgen/artkit.h"

#include <QFontInfo>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

class ArtGen : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ensureGuiApp();
        ASSERT_TRUE(ArtKit::ensureCjkFont());
    }

    static QVector<ArtEntry> manifest()
    {
        QVector<ArtEntry> entries;
        QString error;
        EXPECT_TRUE(ArtCatalog::parseManifest(ArtCatalog::builtInManifest(), &entries, &error))
            << error.toStdString();
        return entries;
    }

    static QImage render(const QString& name)
    {
        for (const ArtEntry& entry : manifest()) {
            if (entry.name == name) {
                return ArtCatalog().render(entry).convertToFormat(QImage::Format_ARGB32);
            }
        }
        ADD_FAILURE() << "not in the manifest: " << name.toStdString();
        return QImage();
    }
};

// WCAG relative luminance and contrast ratio.
double luminance(QColor colour)
{
    auto linear = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The lowest contrast of `text` against any opaque pixel of the area.
double worstContrast(const QImage& image, const QRect& area, const QColor& text)
{
    double worst = 1e9;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) == 255) {
                worst = std::min(worst, contrast(QColor(pixel), text));
            }
        }
    }
    return worst;
}

TEST_F(ArtGen, ManifestParsing)
{
    struct Case
    {
        const char* label;
        const char* text;
        bool ok;
        int count;
    };
    const Case cases[] = {
        {"comments and blank lines", "# head\n\na.png 2 3  # tail\n", true, 1},
        {"several entries", "a.png 1 1\nb.png 4 5\n", true, 2},
        {"missing height", "a.png 2\n", false, 0},
        {"zero width", "a.png 0 3\n", false, 0},
        {"negative height", "a.png 3 -1\n", false, 0},
        {"not a number", "a.png two 3\n", false, 0},
        {"not a png", "a.jpg 2 3\n", false, 0},
        {"extra field", "a.png 2 3 4\n", false, 0},
        {"listed twice", "a.png 2 3\nb.png 1 1\na.png 2 3\n", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        QVector<ArtEntry> entries;
        QString error;
        EXPECT_EQ(ArtCatalog::parseManifest(QString::fromUtf8(c.text), &entries, &error), c.ok);
        if (c.ok) {
            EXPECT_EQ(entries.size(), c.count);
        } else {
            EXPECT_FALSE(error.isEmpty());
        }
    }
}

TEST_F(ArtGen, CatalogAndManifestMatchOneToOne)
{
    const ArtCatalog catalog;
    QVector<ArtEntry> entries = manifest();
    EXPECT_TRUE(catalog.mismatches(entries).isEmpty())
        << catalog.mismatches(entries).join("; ").toStdString();

    entries.append({QStringLiteral("JudgingBg.png"), QSize(96, 156)});
    const ArtEntry dropped = entries.takeFirst();
    const QStringList problems = catalog.mismatches(entries);
    ASSERT_EQ(problems.size(), 2);
    EXPECT_TRUE(problems.filter("JudgingBg.png").size() == 1);
    EXPECT_TRUE(problems.filter(dropped.name).size() == 1);
    EXPECT_TRUE(catalog.render({QStringLiteral("JudgingBg.png"), QSize(96, 156)}).isNull());
}

TEST_F(ArtGen, DrawingIsDeterministic)
{
    const ArtCatalog first;
    const ArtCatalog second;
    for (const ArtEntry& entry : manifest()) {
        SCOPED_TRACE(entry.name.toStdString());
        const QImage image = first.render(entry);
        EXPECT_EQ(image.size(), entry.size);
        EXPECT_TRUE(image == second.render(entry));
    }
}

TEST_F(ArtGen, BlurSpreadsWithoutLosingOrShifting)
{
    // Shadows are blurred copies of their shapes: a blur that loses coverage
    // or drifts would leave shadows faint or off-centre.
    QImage dot(41, 41, QImage::Format_ARGB32_Premultiplied);
    dot.fill(Qt::transparent);
    for (int y = 18; y <= 22; ++y) {
        for (int x = 18; x <= 22; ++x) {
            dot.setPixel(x, y, qRgba(0, 0, 0, 255));
        }
    }
    const QImage soft = ArtKit::blurred(dot, 3);
    ASSERT_EQ(soft.size(), dot.size());
    double before = 0;
    double after = 0;
    double centreX = 0;
    double centreY = 0;
    for (int y = 0; y < dot.height(); ++y) {
        for (int x = 0; x < dot.width(); ++x) {
            const int alpha = qAlpha(soft.pixel(x, y));
            before += qAlpha(dot.pixel(x, y));
            after += alpha;
            centreX += alpha * x;
            centreY += alpha * y;
        }
    }
    EXPECT_NEAR(after, before, before * 0.05);
    EXPECT_NEAR(centreX / after, 20.0, 0.05);
    EXPECT_NEAR(centreY / after, 20.0, 0.05);
    EXPECT_LT(qAlpha(soft.pixel(20, 20)), 255);
    EXPECT_GT(qAlpha(soft.pixel(20, 26)), 0);
    EXPECT_EQ(qAlpha(soft.pixel(0, 0)), 0);
}

TEST_F(ArtGen, WordsUseTheInstalledCjkFace)
{
    // A missing face would silently fall back and draw boxes instead of the button words.
    for (const bool bold : {false, true}) {
        EXPECT_EQ(QFontInfo(ArtKit::font(14, bold)).family(), ArtKit::cjkFamily());
    }
}

TEST_F(ArtGen, StretchedImagesHaveUniformMiddles)
{
    // Rows are stretched sideways: every column must be the same. The navigation
    // bar is a nine-piece image: columns between its 4-pixel corners must be.
    struct Case
    {
        const char* name;
        int corner;
    };
    const Case cases[] = {{"nav_bg.png", 4},           {"list_row_normal1.png", 0},
                          {"list_row_normal2.png", 0}, {"list_row_active.png", 0},
                          {"list_row_chosen.png", 0},  {"line_hover_bg.png", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage image = render(QString::fromLatin1(c.name));
        for (int x = c.corner + 1; x < image.width() - c.corner; ++x) {
            for (int y = 0; y < image.height(); ++y) {
                ASSERT_EQ(image.pixel(x, y), image.pixel(c.corner, y)) << "x " << x << " y " << y;
            }
        }
    }
}

TEST_F(ArtGen, LabelsStayLegibleOnTheirBackgrounds)
{
    // Text colours the windows set, over the areas of the images they sit on.
    const QColor nameBlack(0, 0, 0);
    const QColor countBlue(156, 209, 238);
    const QColor white(255, 255, 255);
    const QColor linkBlue(0, 113, 192);
    struct Case
    {
        const char* label;
        const char* image;
        QRect area;
        QColor text;
        double minimum;
    };
    const Case cases[] = {
        {"option name on the track", "voteProgBkg.png", QRect(10, 7, 150, 14), nameBlack, 7},
        {"option name on the fill", "voteProg.png", QRect(10, 7, 150, 14), nameBlack, 7},
        {"option count on the track", "voteProgBkg.png", QRect(310, 9, 45, 10), countBlue, 4.5},
        {"option count on the fill", "voteProg.png", QRect(310, 9, 45, 10), countBlue, 4.5},
        {"team count on the track", "voteGroupProBg.png", QRect(116, 8, 25, 8), countBlue, 4.5},
        {"team count on the fill", "voteGroupPro.png", QRect(116, 8, 25, 8), countBlue, 4.5},
        {"judge title", "JudgeVote_bg.png", QRect(20, 108, 380, 20), white, 7},
        {"judge footer", "JudgeVote_bg.png", QRect(20, 330, 470, 30), white, 7},
        {"judge card words", "Judged.png", QRect(6, 84, 84, 60), white, 7},
        {"score list words", "point_bg.png", QRect(8, 8, 90, 160), white, 7},
        {"normal window title and list", "toupiao_bg1.png", QRect(20, 64, 478, 440), nameBlack, 12},
        {"group window title and list", "toupiao_bg.png", QRect(20, 64, 478, 460), nameBlack, 12},
        {"management links", "bg01.png", QRect(12, 50, 494, 280), linkBlue, 4.5},
        {"history title", "bg.png", QRect(30, 8, 100, 30), white, 3},
        // Tile words in the tile's own colour when lit, against the card just below them.
        {"lit normal tile words", "but_putong_hover.png", QRect(20, 108, 90, 2), QColor(0x45, 0x36, 0xC8),
         4.5},
        {"lit group tile words", "but_duizhan_press.png", QRect(20, 108, 90, 2), QColor(0x1B, 0x55, 0xD6),
         4.5},
        {"lit judge tile words", "but_pingwei_hover.png", QRect(20, 108, 90, 2),
         QColor(0xC2, 0x80, 0x0A).darker(140), 4.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const QImage image = render(QString::fromLatin1(c.image));
        EXPECT_GE(worstContrast(image, c.area, c.text), c.minimum);
    }
}

TEST_F(ArtGen, ButtonWordsStandOutFromTheirFill)
{
    // Large bold words need a contrast of 3 against the fill around them; the
    // fill is sampled at mid-height just inside both ends of the button.
    const QColor white(255, 255, 255);
    const QColor brown(0x5C, 0x38, 0x00);
    struct Case
    {
        const char* image;
        QColor words;
    };
    const Case cases[] = {
        {"normalvote_but01.png", white}, {"normalvote_but02.png", white}, {"normalvote_but03.png", white},
        {"voteGroup_but01.png", white},  {"voteGroup_but02.png", white},  {"voteGroup_but03.png", white},
        {"judge_but01.png", brown},      {"judge_but02.png", brown},      {"judge_but03.png", brown},
        {"sure_but01.png", white},       {"sure_but02.png", white},       {"sure_but03.png", white},
        {"but_add_nomal.png", white},    {"but_add_hover.png", white},    {"but_add_press.png", white},
        {"but_start_nomal.png", white},  {"but_start_hover.png", white},  {"but_start_press.png", white},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        const QImage image = render(QString::fromLatin1(c.image));
        const int y = image.height() / 2;
        for (const int x : {5, image.width() - 6}) {
            EXPECT_GE(contrast(QColor(image.pixel(x, y)), c.words), 3.0) << "x " << x;
        }
    }
}

TEST_F(ArtGen, BannerStaysAWatermark)
{
    // The normal window lays the banner over its title and first option rows.
    const QImage banner = render(QStringLiteral("toupiao_title.png"));
    int strongest = 0;
    for (int y = 0; y < banner.height(); ++y) {
        for (int x = 0; x < banner.width(); ++x) {
            strongest = std::max(strongest, qAlpha(banner.pixel(x, y)));
        }
    }
    EXPECT_GT(strongest, 0);
    EXPECT_LE(strongest, 64);
}

TEST_F(ArtGen, WindowBackgroundsAreQuietWhereContentSits)
{
    // No hard edge (a jump of more than 24 in any channel between neighbours)
    // inside the areas that hold titles, lists and footers.
    struct Case
    {
        const char* image;
        QRect area;
    };
    const Case cases[] = {
        {"toupiao_bg1.png", QRect(16, 64, 486, 360)}, {"toupiao_bg1.png", QRect(16, 432, 486, 90)},
        {"toupiao_bg.png", QRect(16, 64, 486, 410)},  {"JudgeVote_bg.png", QRect(16, 104, 486, 220)},
        {"bg01.png", QRect(16, 50, 486, 280)},        {"bg.png", QRect(16, 50, 486, 280)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        const QImage image = render(QString::fromLatin1(c.image));
        int hardest = 0;
        for (int y = c.area.top(); y < c.area.bottom(); ++y) {
            for (int x = c.area.left(); x < c.area.right(); ++x) {
                const QRgb here = image.pixel(x, y);
                for (const QRgb next : {image.pixel(x + 1, y), image.pixel(x, y + 1)}) {
                    hardest = std::max({hardest, std::abs(qRed(here) - qRed(next)),
                                        std::abs(qGreen(here) - qGreen(next)),
                                        std::abs(qBlue(here) - qBlue(next))});
                }
            }
        }
        EXPECT_LE(hardest, 24);
        // The windows are translucent: their rounded corners must let the desktop through.
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(image.width() - 1, image.height() - 1)), 0);
    }
}

} // namespace
