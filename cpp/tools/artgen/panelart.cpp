#include "tools/artgen/panelart.h"

#include "tools/artgen/artkit.h"

#include <QPainter>

namespace {

// Audience windows keep their header art in the top 60 pixels; the close
// button row starts right below it.
const qreal kHeaderBand = 60;
const qreal kWindowRadius = 12;

QRectF whole(const QSize& size)
{
    return QRectF(0, 0, size.width(), size.height());
}

void windowCard(QPainter& p, const QSize& size, const QColor& fill, qreal radius)
{
    p.fillPath(ArtKit::rounded(whole(size), radius), fill);
}

void windowRim(QPainter& p, const QSize& size, const QColor& colour, qreal radius)
{
    p.setPen(QPen(colour, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(ArtKit::rounded(whole(size).adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5));
}

// A header band whose lower edge swings gently upward towards the right.
QPainterPath headerShape(const QSize& size, qreal depth)
{
    QPainterPath path;
    path.moveTo(0, 0);
    path.lineTo(size.width(), 0);
    path.lineTo(size.width(), depth - 10);
    path.cubicTo(size.width() * 0.7, depth - 18, size.width() * 0.35, depth + 4, 0, depth - 2);
    path.closeSubpath();
    return path;
}

void bubbles(QPainter& p, const QRectF& area, int alpha)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, alpha));
    p.drawEllipse(QPointF(area.right() - 60, area.top() + 8), 46, 46);
    p.setBrush(QColor(255, 255, 255, alpha / 2));
    p.drawEllipse(QPointF(area.right() - 130, area.top() + 44), 22, 22);
    p.drawEllipse(QPointF(area.left() + 70, area.top() - 10), 36, 36);
}

// A wash of `colour` beneath the header that fades to nothing over `depth` pixels.
void headerFade(QPainter& p, const QSize& size, const QColor& left, const QColor& right, qreal depth)
{
    QImage layer(size, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter lp(&layer);
        const QRectF wash(0, kHeaderBand - 12, size.width(), depth);
        QLinearGradient across(wash.topLeft(), wash.topRight());
        across.setColorAt(0, left);
        across.setColorAt(1, right);
        lp.fillRect(wash, across);
        lp.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        QLinearGradient down(wash.topLeft(), wash.bottomLeft());
        down.setColorAt(0, Qt::black);
        down.setColorAt(1, Qt::transparent);
        lp.fillRect(wash, down);
    }
    p.drawImage(0, 0, layer);
}

void footer(QPainter& p, const QSize& size, qreal height)
{
    const QRectF area(0, size.height() - height, size.width(), height);
    p.save();
    p.setClipPath(ArtKit::rounded(whole(size), kWindowRadius));
    p.fillRect(area, ArtKit::canvas());
    p.fillRect(QRectF(16, area.top(), size.width() - 32, 1), ArtKit::mist());
    p.restore();
}

// A few white sparkles over the right half of a header.
void sparkles(QPainter& p, const QRectF& area)
{
    const QPointF spots[] = {{0.56, 0.30}, {0.63, 0.68}, {0.71, 0.22}, {0.78, 0.55}};
    const qreal sizes[] = {4.5, 2.5, 3, 2};
    for (int i = 0; i < 4; ++i) {
        const QPointF at(area.left() + area.width() * spots[i].x(),
                         area.top() + area.height() * spots[i].y());
        ArtKit::star(p, at, sizes[i], sizes[i] * 0.38, QColor(255, 255, 255, 150));
    }
}

void scatterStars(QPainter& p, const QColor& colour)
{
    struct Spark
    {
        qreal x, y, r;
    };
    static const Spark sparks[] = {{42, 26, 3},    {96, 62, 2},    {150, 18, 2.5}, {214, 48, 1.8},
                                   {300, 22, 2.2}, {358, 58, 3},   {420, 16, 2},   {470, 44, 2.6},
                                   {70, 92, 1.6},  {446, 90, 1.8}, {250, 86, 1.5}, {180, 96, 1.4}};
    for (const Spark& s : sparks) {
        ArtKit::star(p, QPointF(s.x, s.y), s.r * 2, s.r * 0.8, colour);
    }
}

} // namespace

void PanelArt::normalWindow(QPainter& p, const QSize& size)
{
    const ArtKit::Ramp accent = ArtKit::accent();
    windowCard(p, size, Qt::white, kWindowRadius);
    headerFade(p, size, accent.soft, ArtKit::cool().soft, 120);
    p.save();
    p.setClipPath(ArtKit::rounded(whole(size), kWindowRadius));
    const QPainterPath band = headerShape(size, kHeaderBand);
    QLinearGradient fill(0, 0, size.width(), kHeaderBand);
    fill.setColorAt(0, ArtKit::cool().base);
    fill.setColorAt(0.5, accent.base);
    fill.setColorAt(1, accent.deep);
    p.fillPath(band, fill);
    p.setClipPath(band, Qt::IntersectClip);
    bubbles(p, QRectF(0, 0, size.width(), kHeaderBand), 26);
    sparkles(p, QRectF(0, 0, size.width(), kHeaderBand));
    p.restore();
    // No footer band: the window stretches this image to a height that depends on the number of
    // options, so a band drawn here would land on the last option row of a long list.
    windowRim(p, size, ArtKit::mist(), kWindowRadius);
}

void PanelArt::groupWindow(QPainter& p, const QSize& size)
{
    const ArtKit::Ramp warm = ArtKit::warm();
    const ArtKit::Ramp cool = ArtKit::cool();
    windowCard(p, size, Qt::white, kWindowRadius);
    headerFade(p, size, warm.soft, cool.soft, 130);
    p.save();
    p.setClipPath(ArtKit::rounded(whole(size), kWindowRadius));
    const QPainterPath band = headerShape(size, kHeaderBand);
    QLinearGradient fill(0, 0, size.width(), 0);
    fill.setColorAt(0, warm.base);
    fill.setColorAt(0.46, warm.light);
    fill.setColorAt(0.54, cool.light);
    fill.setColorAt(1, cool.deep);
    p.fillPath(band, fill);
    p.setClipPath(band, Qt::IntersectClip);
    // A bright diagonal seam where the two team colours meet.
    QPainterPath seam;
    const qreal mid = size.width() / 2.0;
    seam.moveTo(mid + 10, 0);
    seam.lineTo(mid + 22, 0);
    seam.lineTo(mid - 8, kHeaderBand);
    seam.lineTo(mid - 20, kHeaderBand);
    seam.closeSubpath();
    p.fillPath(seam, QColor(255, 255, 255, 120));
    bubbles(p, QRectF(0, 0, size.width(), kHeaderBand), 22);
    p.restore();
    footer(p, size, 60);
    windowRim(p, size, ArtKit::mist(), kWindowRadius);
}

void PanelArt::judgeWindow(QPainter& p, const QSize& size)
{
    const ArtKit::Ramp night = ArtKit::night();
    const ArtKit::Ramp gold = ArtKit::gold();
    const QPainterPath card = ArtKit::rounded(whole(size), kWindowRadius);
    QLinearGradient fill(0, 0, size.width() * 0.3, size.height());
    fill.setColorAt(0, night.light);
    fill.setColorAt(0.55, night.base);
    fill.setColorAt(1, night.deep);
    p.fillPath(card, fill);
    p.save();
    p.setClipPath(card);
    QRadialGradient glow(QPointF(size.width() / 2.0, -20), size.width() * 0.55);
    glow.setColorAt(0, ArtKit::withAlpha(gold.base, 70));
    glow.setColorAt(1, ArtKit::withAlpha(gold.base, 0));
    p.fillRect(whole(size), glow);
    scatterStars(p, ArtKit::withAlpha(gold.light, 150));
    const QRectF footerArea(0, size.height() - 42, size.width(), 42);
    p.fillRect(footerArea, QColor(0, 0, 0, 60));
    p.fillRect(QRectF(16, footerArea.top(), size.width() - 32, 1), ArtKit::withAlpha(gold.base, 70));
    p.restore();
    windowRim(p, size, ArtKit::withAlpha(gold.base, 110), kWindowRadius);
}

void PanelArt::managementWindow(QPainter& p, const QSize& size)
{
    const ArtKit::Ramp accent = ArtKit::accent();
    const qreal radius = 10;
    const qreal bar = 47;
    windowCard(p, size, ArtKit::canvas(), radius);
    p.save();
    p.setClipPath(ArtKit::rounded(whole(size), radius));
    const QRectF title(0, 0, size.width(), bar);
    QLinearGradient fill(title.topLeft(), title.topRight());
    fill.setColorAt(0, ArtKit::cool().base);
    fill.setColorAt(0.45, accent.base);
    fill.setColorAt(1, accent.deep);
    p.fillRect(title, fill);
    p.setClipRect(title, Qt::IntersectClip);
    bubbles(p, title, 24);
    sparkles(p, title);
    p.restore();
    p.fillRect(QRectF(0, bar, size.width(), 1), ArtKit::withAlpha(accent.deep, 60));
    windowRim(p, size, ArtKit::withAlpha(ArtKit::ink(), 40), radius);
}

void PanelArt::groupPanel(QPainter& p, const QSize& size)
{
    const QRectF panel = whole(size).adjusted(0.5, 0.5, -0.5, -0.5);
    const QPainterPath shape = ArtKit::rounded(panel, 12);
    QLinearGradient fill(panel.topLeft(), panel.topRight());
    fill.setColorAt(0, ArtKit::warm().soft);
    fill.setColorAt(0.48, Qt::white);
    fill.setColorAt(0.52, Qt::white);
    fill.setColorAt(1, ArtKit::cool().soft);
    p.fillPath(shape, fill);
    p.setPen(QPen(ArtKit::mist(), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
    // The panel is drawn as nine pieces around a one-pixel middle: the divider
    // fades in over the top half and out over the bottom half and is solid in
    // the middle row that gets stretched.
    const qreal mid = qRound(size.width() / 2.0);
    const QColor line = ArtKit::mist().darker(108);
    QLinearGradient divider(0, 8, 0, size.height() - 8);
    divider.setColorAt(0, ArtKit::withAlpha(line, 0));
    divider.setColorAt(0.35, line);
    divider.setColorAt(0.65, line);
    divider.setColorAt(1, ArtKit::withAlpha(line, 0));
    p.fillRect(QRectF(mid, 8, 1, size.height() - 16), divider);
}

void PanelArt::judgeCard(QPainter& p, const QSize& size)
{
    const ArtKit::Ramp gold = ArtKit::gold();
    const QRectF card = whole(size).adjusted(1, 1, -1, -1);
    const QPainterPath shape = ArtKit::rounded(card, 10);
    ArtKit::fillVertical(p, shape, QColor(0x45, 0x37, 0x9A), QColor(0x22, 0x1C, 0x52));
    p.save();
    p.setClipPath(shape);
    // A cool halo behind the medallion; gold on violet would turn brown.
    QRadialGradient glow(QPointF(card.center().x(), 52), 48);
    glow.setColorAt(0, ArtKit::withAlpha(ArtKit::accent().light, 150));
    glow.setColorAt(1, ArtKit::withAlpha(ArtKit::accent().light, 0));
    p.fillRect(card, glow);
    p.fillPath(ArtKit::rounded(QRectF(7, 120, size.width() - 14, 23), 11.5), QColor(0, 0, 0, 70));
    p.restore();
    p.setPen(QPen(ArtKit::withAlpha(gold.base, 200), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawPath(ArtKit::rounded(card.adjusted(0.25, 0.25, -0.25, -0.25), 10));
}

void PanelArt::scorePanel(QPainter& p, const QSize& size)
{
    const QRectF panel = whole(size).adjusted(1, 1, -1, -1);
    const QPainterPath shape = ArtKit::rounded(panel, 10);
    ArtKit::fillVertical(p, shape, QColor(0x2E, 0x27, 0x6A, 245), QColor(0x18, 0x16, 0x38, 245));
    p.setPen(QPen(ArtKit::withAlpha(ArtKit::gold().base, 150), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(ArtKit::rounded(panel.adjusted(0.5, 0.5, -0.5, -0.5), 9.5));
}

void PanelArt::navigationBar(QPainter& p, const QSize& size)
{
    const QRectF bar = whole(size).adjusted(0.5, 0.5, -0.5, -0.5);
    const QPainterPath shape = ArtKit::rounded(bar, 3);
    ArtKit::fillVertical(p, shape, QColor(0xFD, 0xFD, 0xFF), QColor(0xEF, 0xF0, 0xF8));
    p.setPen(QPen(ArtKit::mist(), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
}

void PanelArt::row(QPainter& p, const QSize& size, Row kind)
{
    QColor fill;
    QColor line = QColor(0xEC, 0xEE, 0xF5);
    switch (kind) {
    case Row::Even:
        fill = Qt::white;
        break;
    case Row::Odd:
        fill = QColor(0xF7, 0xF8, 0xFC);
        break;
    case Row::Hovered:
        fill = ArtKit::accent().soft;
        line = QColor(0xDE, 0xDA, 0xFF);
        break;
    case Row::Chosen:
        fill = QColor(0xE2, 0xDD, 0xFF);
        line = ArtKit::withAlpha(ArtKit::accent().base, 110);
        break;
    case Row::LineHover:
        fill = QColor(0xF3, 0xF1, 0xFF);
        line = QColor(0xE4, 0xE0, 0xFF);
        break;
    }
    p.fillRect(whole(size), fill);
    p.fillRect(QRectF(0, size.height() - 1, size.width(), 1), line);
}
