#include "tools/artgen/iconart.h"

#include "tools/artgen/artkit.h"
#include "tools/artgen/glyphart.h"

#include <QPainter>
#include <QtMath>

namespace {

QPainterPath disc(const QRectF& box)
{
    QPainterPath path;
    path.addEllipse(box);
    return path;
}

QRectF inset(const QSize& size, qreal margin)
{
    return QRectF(margin, margin, size.width() - 2 * margin, size.height() - 2 * margin);
}

void accentSquare(QPainter& p, const QRectF& box, qreal radius)
{
    const ArtKit::Ramp ramp = ArtKit::accent();
    QLinearGradient g(box.topLeft(), box.bottomRight());
    g.setColorAt(0, ramp.light);
    g.setColorAt(1, ramp.deep);
    p.fillPath(ArtKit::rounded(box, radius), g);
}

// A round glyph button: `fill` behind a cross or bar drawn in `mark`.
void roundButton(QPainter& p, const QRectF& box, const QColor& fill, const QColor& mark, qreal crossInset,
                 qreal width)
{
    p.fillPath(disc(box), fill);
    GlyphArt::cross(p, box.adjusted(crossInset, crossInset, -crossInset, -crossInset), mark, width);
}

} // namespace

void IconArt::addonIcon(QPainter& p, const QSize& size)
{
    const QRectF box = inset(size, 1);
    accentSquare(p, box, 7);
    GlyphArt::ballot(p, box.adjusted(7, 5, -7, -6), Qt::white, QColor(255, 255, 255, 225),
                     ArtKit::accent().base);
}

void IconArt::windowIcon(QPainter& p, const QSize& size)
{
    const QRectF box = inset(size, 0.5);
    accentSquare(p, box, 4);
    // A light rim keeps the icon visible on the accent title bars.
    p.setPen(QPen(QColor(255, 255, 255, 170), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(ArtKit::rounded(box.adjusted(0.5, 0.5, -0.5, -0.5), 4));
    // At this size the ballot is drawn on whole pixels, without the mark on the slip.
    p.fillRect(QRectF(6, 3, 6, 6), QColor(255, 255, 255, 225));
    p.fillPath(ArtKit::rounded(QRectF(3, 8, 12, 7), 1.5), Qt::white);
    p.fillRect(QRectF(5, 9, 8, 1), ArtKit::accent().base);
}

void IconArt::minimise(QPainter& p, const QSize& size)
{
    const QRectF box = inset(size, 0.5);
    p.fillPath(disc(box), QColor(255, 255, 255, 235));
    p.setPen(QPen(ArtKit::withAlpha(ArtKit::ink(), 55), 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(box.adjusted(0.5, 0.5, -0.5, -0.5));
    p.setPen(QPen(ArtKit::slate(), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5.5, size.height() / 2.0), QPointF(size.width() - 5.5, size.height() / 2.0));
}

void IconArt::close(QPainter& p, const QSize& size, ButtonArt::State state)
{
    const QRectF box = inset(size, 0.5);
    switch (state) {
    case ButtonArt::State::Hover:
        roundButton(p, box, ArtKit::danger(), Qt::white, 5, 1.8);
        break;
    case ButtonArt::State::Pressed:
        roundButton(p, box, ArtKit::danger().darker(125), QColor(255, 255, 255, 220), 5.5, 1.8);
        break;
    default:
        roundButton(p, box, QColor(255, 255, 255, 45), Qt::white, 5, 1.8);
        break;
    }
}

void IconArt::remove(QPainter& p, const QSize& size, ButtonArt::State state)
{
    const QRectF box = inset(size, 2);
    switch (state) {
    case ButtonArt::State::Hover:
        roundButton(p, box, ArtKit::danger(), Qt::white, 5.5, 1.8);
        break;
    case ButtonArt::State::Pressed:
        roundButton(p, box, ArtKit::danger().darker(125), QColor(255, 255, 255, 220), 6, 1.8);
        break;
    default:
        roundButton(p, box, ArtKit::mist(), ArtKit::slate(), 5.5, 1.6);
        break;
    }
}

void IconArt::clock(QPainter& p, const QSize& size)
{
    const qreal side = qMin(size.width(), size.height()) - 4;
    const QRectF box((size.width() - side) / 2, (size.height() - side) / 2 + 1, side, side);
    GlyphArt::clock(p, box, ArtKit::accent().base, Qt::white, ArtKit::ink());
}

void IconArt::check(QPainter& p, const QSize& size, bool checked)
{
    const QRectF box = inset(size, 1.5);
    if (checked) {
        accentSquare(p, box, 4);
        GlyphArt::tick(p, box.adjusted(3.5, 4, -3.5, -4), Qt::white, 2);
        return;
    }
    p.fillPath(ArtKit::rounded(box, 4), Qt::white);
    p.setPen(QPen(QColor(0xB4, 0xBA, 0xD0), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(ArtKit::rounded(box.adjusted(0.5, 0.5, -0.5, -0.5), 3.5));
}

void IconArt::rank(QPainter& p, const QSize& size, Rank rank)
{
    const QRectF box = inset(size, 1.5);
    QColor top;
    QColor bottom;
    QColor mark;
    switch (rank) {
    case Rank::First:
        top = ArtKit::gold().light;
        bottom = ArtKit::gold().base.darker(108);
        mark = QColor(0x7A, 0x4A, 0x00);
        break;
    case Rank::Second:
        top = QColor(0xF1, 0xF3, 0xF8);
        bottom = QColor(0xAE, 0xB6, 0xCA);
        mark = QColor(0x44, 0x4B, 0x66);
        break;
    case Rank::Other:
        top = ArtKit::accent().soft;
        bottom = QColor(0xCF, 0xCA, 0xF5);
        mark = ArtKit::accent().base;
        break;
    }
    p.fillPath(disc(box.adjusted(-1, -1, 1, 1)), Qt::white);
    ArtKit::fillVertical(p, disc(box), top, bottom);
    if (rank == Rank::Other) {
        ArtKit::star(p, box.center(), 6.5, 2.8, mark);
        return;
    }
    const QString digit = rank == Rank::First ? QStringLiteral("1") : QStringLiteral("2");
    ArtKit::text(p, box, digit, ArtKit::font(15, true), mark);
}

void IconArt::plusOne(QPainter& p, const QSize& size, int frame)
{
    static const qreal opacity[] = {1.0, 0.95, 0.85, 0.6, 0.3};
    const int step = qBound(1, frame, 5) - 1;
    const qreal rise = step * 5.0;
    // Drawn whole first, then faded: fading outline and fill separately would
    // leave their overlap more opaque than the rest.
    QImage layer(size, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter lp(&layer);
        lp.setRenderHints(p.renderHints());
        const QRectF box(0, size.height() - 30 - rise, size.width(), 26);
        ArtKit::outlinedText(lp, box, QStringLiteral("+1"), ArtKit::font(20 + step, true),
                             ArtKit::warm().base, Qt::white, 1.6);
    }
    p.setOpacity(opacity[step]);
    p.drawImage(0, 0, layer);
    p.setOpacity(1.0);
}

void IconArt::scoreFace(QPainter& p, const QSize& size, int score)
{
    GlyphArt::face(p, inset(size, 3), score);
}

void IconArt::medallion(QPainter& p, const QSize& size, int points)
{
    const ArtKit::Ramp gold = ArtKit::gold();
    const QRectF outer = inset(size, 2);
    ArtKit::shadow(p, disc(outer), 3, 2, QColor(0, 0, 0, 110));
    QLinearGradient ring(outer.topLeft(), outer.bottomRight());
    ring.setColorAt(0, gold.light);
    ring.setColorAt(0.5, gold.base);
    ring.setColorAt(1, gold.deep);
    p.fillPath(disc(outer), ring);
    const QRectF inner = outer.adjusted(5, 5, -5, -5);
    QRadialGradient face(inner.center() - QPointF(6, 8), inner.width() * 0.8);
    face.setColorAt(0, gold.base.lighter(108));
    face.setColorAt(1, gold.deep.darker(115));
    p.fillPath(disc(inner), face);
    ArtKit::outlinedText(p, inner.adjusted(0, -4, 0, -4), QString::number(points), ArtKit::font(27, true),
                         Qt::white, gold.deep.darker(130), 1.2);
    // One small star per point along the lower edge of the face.
    const qreal spread = 7.0;
    const QPointF first(inner.center().x() - spread * (points - 1) / 2, inner.bottom() - 8);
    for (int i = 0; i < points; ++i) {
        ArtKit::star(p, first + QPointF(spread * i, 0), 3.3, 1.4, Qt::white);
    }
}
