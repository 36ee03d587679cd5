#include "tools/artgen/artcatalog.h"

#include "tools/artgen/artkit.h"
#include "artworkmanifest.h"
#include "tools/artgen/buttonart.h"
#include "tools/artgen/iconart.h"
#include "tools/artgen/panelart.h"
#include "tools/artgen/voteart.h"

#include <QPainter>
#include <QSet>

namespace {

using State = ButtonArt::State;

struct StateName
{
    const char* suffix;
    State state;
};

// The file-name suffixes of the button families.
const StateName kNumbered[] = {
    {"01", State::Normal}, {"02", State::Hover}, {"03", State::Pressed}, {"04", State::Disabled}};
const StateName kWorded[] = {
    {"nomal", State::Normal}, {"hover", State::Hover}, {"press", State::Pressed}, {"gray", State::Disabled}};

const qreal kOptionCapsule = 70;
const qreal kGroupCapsule = 42;
const qreal kOptionDrop = 1;

} // namespace

ArtCatalog::ArtCatalog()
{
    addIcons();
    addButtons();
    addVoteArt();
    addPanels();
}

QString ArtCatalog::builtInManifest()
{
    return QString::fromUtf8(kArtworkManifest);
}

bool ArtCatalog::parseManifest(const QString& text, QVector<ArtEntry>* entries, QString* error)
{
    entries->clear();
    QSet<QString> seen;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].section(QLatin1Char('#'), 0, 0).trimmed();
        if (line.isEmpty()) {
            continue;
        }
        const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        bool widthOk = false;
        bool heightOk = false;
        const int width = fields.value(1).toInt(&widthOk);
        const int height = fields.value(2).toInt(&heightOk);
        if (fields.size() != 3 || !widthOk || !heightOk || width <= 0 || height <= 0 ||
            !fields[0].endsWith(QLatin1String(".png"))) {
            *error = QStringLiteral("line %1: expected \"name.png width height\"").arg(i + 1);
            return false;
        }
        if (seen.contains(fields[0])) {
            *error = QStringLiteral("line %1: %2 listed twice").arg(i + 1).arg(fields[0]);
            return false;
        }
        seen.insert(fields[0]);
        entries->append({fields[0], QSize(width, height)});
    }
    return true;
}

QStringList ArtCatalog::names() const
{
    QStringList all = m_drawings.keys();
    all.sort();
    return all;
}

QStringList ArtCatalog::mismatches(const QVector<ArtEntry>& entries) const
{
    QStringList problems;
    QSet<QString> listed;
    for (const ArtEntry& entry : entries) {
        listed.insert(entry.name);
        if (!m_drawings.contains(entry.name)) {
            problems << QStringLiteral("%1 has no drawing").arg(entry.name);
        }
    }
    for (const QString& name : names()) {
        if (!listed.contains(name)) {
            problems << QStringLiteral("%1 is drawn but not listed").arg(name);
        }
    }
    return problems;
}

QImage ArtCatalog::render(const ArtEntry& entry, int scale) const
{
    const auto drawing = m_drawings.constFind(entry.name);
    if (drawing == m_drawings.constEnd()) {
        return QImage();
    }
    QImage image(entry.size * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    p.scale(scale, scale);
    (*drawing)(p, entry.size);
    p.end();
    return image;
}

void ArtCatalog::add(const QString& name, Drawing drawing)
{
    m_drawings.insert(name, std::move(drawing));
}

void ArtCatalog::addIcons()
{
    add("vote_normal.png", IconArt::addonIcon);
    add("icon_toupiao.png", IconArt::windowIcon);
    add("but_minimize_nomal.png", IconArt::minimise);
    add("voteClock-0428_15.png", IconArt::clock);
    add("check_01.png", [](QPainter& p, const QSize& s) { IconArt::check(p, s, true); });
    add("check_02.png", [](QPainter& p, const QSize& s) { IconArt::check(p, s, false); });
    add("first.png", [](QPainter& p, const QSize& s) { IconArt::rank(p, s, IconArt::Rank::First); });
    add("second.png", [](QPainter& p, const QSize& s) { IconArt::rank(p, s, IconArt::Rank::Second); });
    add("other.png", [](QPainter& p, const QSize& s) { IconArt::rank(p, s, IconArt::Rank::Other); });
    for (int i = 1; i <= 5; ++i) {
        add(QStringLiteral("1_0%1.png").arg(i),
            [i](QPainter& p, const QSize& s) { IconArt::plusOne(p, s, i); });
        add(QStringLiteral("vote-%1.png").arg(i),
            [i](QPainter& p, const QSize& s) { IconArt::scoreFace(p, s, i); });
        add(QStringLiteral("%1point.png").arg(i),
            [i](QPainter& p, const QSize& s) { IconArt::medallion(p, s, i); });
    }
    for (int i = 0; i < 3; ++i) {
        const State state = kWorded[i].state;
        add(QStringLiteral("but_close_%1.png").arg(kWorded[i].suffix),
            [state](QPainter& p, const QSize& s) { IconArt::close(p, s, state); });
        add(QStringLiteral("but_bianji_close_%1.png").arg(kWorded[i].suffix),
            [state](QPainter& p, const QSize& s) { IconArt::remove(p, s, state); });
    }
}

void ArtCatalog::addButtons()
{
    struct Filled
    {
        const char* stem;
        const StateName* states;
        int count;
        ArtKit::Ramp ramp;
        const char* words;
        QColor onColour;
    };
    const QColor onGold(0x5C, 0x38, 0x00);
    const Filled families[] = {
        {"normalvote_but", kNumbered, 4, ArtKit::accent(), "投票", Qt::white},
        {"voteGroup_but", kNumbered, 4, ArtKit::accent(), "投票", Qt::white},
        {"judge_but", kNumbered, 3, ArtKit::gold(), "打分", onGold},
        {"sure_but", kNumbered, 3, ArtKit::ember(), "确定", Qt::white},
        {"but_add_", kWorded, 4, ArtKit::accent(), "新建投票", Qt::white},
        {"but_start_", kWorded, 4, ArtKit::ember(), "开始投票", Qt::white},
    };
    for (const Filled& family : families) {
        for (int i = 0; i < family.count; ++i) {
            const State state = family.states[i].state;
            const ArtKit::Ramp ramp = family.ramp;
            const QString words = QString::fromUtf8(family.words);
            const QColor onColour = family.onColour;
            add(QString::fromLatin1(family.stem) + family.states[i].suffix + ".png",
                [=](QPainter& p, const QSize& s) { ButtonArt::filled(p, s, ramp, words, onColour, state); });
        }
    }
    struct TileName
    {
        const char* stem;
        ButtonArt::Tile kind;
    };
    const TileName tiles[] = {
        {"but_putong_", ButtonArt::Tile::Normal},
        {"but_duizhan_", ButtonArt::Tile::Group},
        {"but_pingwei_", ButtonArt::Tile::Judge},
    };
    for (int i = 0; i < 3; ++i) {
        const State state = kWorded[i].state;
        for (const TileName& tile : tiles) {
            const ButtonArt::Tile kind = tile.kind;
            add(QString::fromLatin1(tile.stem) + kWorded[i].suffix + ".png",
                [=](QPainter& p, const QSize& s) { ButtonArt::tile(p, s, kind, state); });
        }
        add(QStringLiteral("but_back_%1.png").arg(kWorded[i].suffix),
            [state](QPainter& p, const QSize& s) { ButtonArt::ghost(p, s, QStringLiteral("返回"), state); });
    }
}

void ArtCatalog::addVoteArt()
{
    add("toupiao_title.png", VoteArt::banner);
    // The option window's labels hang 7 pixels below the bar's top edge, so their text sits a
    // little below the image's middle: the bar is drawn one pixel lower to meet it.
    add("voteProgBkg.png",
        [](QPainter& p, const QSize& s) { VoteArt::optionTrack(p, s, kOptionCapsule, kOptionDrop); });
    add("voteProg.png",
        [](QPainter& p, const QSize& s) { VoteArt::optionFill(p, s, kOptionCapsule, kOptionDrop); });
    add("voteGroupProBg.png", [](QPainter& p, const QSize& s) { VoteArt::optionTrack(p, s, kGroupCapsule); });
    add("voteGroupPro.png", [](QPainter& p, const QSize& s) { VoteArt::optionFill(p, s, kGroupCapsule); });
    add("vs.png", VoteArt::versusBand);
    add("win_left.png", [](QPainter& p, const QSize& s) { VoteArt::emblem(p, s, VoteArt::Team::A); });
    add("win_right.png", [](QPainter& p, const QSize& s) { VoteArt::emblem(p, s, VoteArt::Team::B); });
    add("vote-hover.png", VoteArt::scoreHighlight);
}

void ArtCatalog::addPanels()
{
    using Row = PanelArt::Row;
    add("toupiao_bg1.png", PanelArt::normalWindow);
    add("toupiao_bg.png", PanelArt::groupWindow);
    add("JudgeVote_bg.png", PanelArt::judgeWindow);
    add("bg01.png", PanelArt::managementWindow);
    add("bg.png", PanelArt::managementWindow);
    add("group_bg.png", PanelArt::groupPanel);
    add("Judged.png", PanelArt::judgeCard);
    add("point_bg.png", PanelArt::scorePanel);
    add("nav_bg.png", PanelArt::navigationBar);
    add("list_row_normal1.png", [](QPainter& p, const QSize& s) { PanelArt::row(p, s, Row::Even); });
    add("list_row_normal2.png", [](QPainter& p, const QSize& s) { PanelArt::row(p, s, Row::Odd); });
    add("list_row_active.png", [](QPainter& p, const QSize& s) { PanelArt::row(p, s, Row::Hovered); });
    add("list_row_chosen.png", [](QPainter& p, const QSize& s) { PanelArt::row(p, s, Row::Chosen); });
    add("line_hover_bg.png", [](QPainter& p, const QSize& s) { PanelArt::row(p, s, Row::LineHover); });
}
