#include "tools/artgen/voteart.h"

#include "tools/artgen/artkit.h"
#include "tools/artgen/glyphart.h"

#include <QPainter>
#include <QtMath>

namespace {

const qreal kBannerOpacity = 0.16;

// The bar, centred in the image and then moved down by `drop` pixels.
QRectF barRect(const QSize& size, qreal drop)
{
    const qreal height = qMin<qreal>(size.height() - 4, 22);
    return QRectF(0.5, (size.height() - height) / 2 + drop, size.width() - 1, height);
}

QRectF capsuleRect(const QRectF& bar, qreal width)
{
    return QRectF(bar.right() - width - 2, bar.top() + 2, width, bar.height() - 4);
}

QPainterPath shieldPath(const QRectF& box)
{
    const qreal w = box.width();
    const qreal h = box.height();
    QPainterPath path;
    path.moveTo(box.center().x(), box.top());
    path.cubicTo(box.left() + w * 0.7, box.top() + h * 0.08, box.right(), box.top() + h * 0.1, box.right(),
                 box.top() + h * 0.14);
    path.lineTo(box.right(), box.top() + h * 0.48);
    path.cubicTo(box.right(), box.top() + h * 0.78, box.center().x() + w * 0.2, box.bottom() - h * 0.06,
                 box.center().x(), box.bottom());
    path.cubicTo(box.center().x() - w * 0.2, box.bottom() - h * 0.06, box.left(), box.top() + h * 0.78,
                 box.left(), box.top() + h * 0.48);
    path.lineTo(box.left(), box.top() + h * 0.14);
    path.cubicTo(box.left(), box.top() + h * 0.1, box.left() + w * 0.3, box.top() + h * 0.08,
                 box.center().x(), box.top());
    path.closeSubpath();
    return path;
}

void ribbonTail(QPainter& p, qreal x, qreal dir, const QRectF& plate, const QColor& colour)
{
    QPainterPath tail;
    const qreal top = plate.top() + 16;
    const qreal bottom = plate.bottom() + 8;
    tail.moveTo(x, top);
    tail.lineTo(x - dir * 34, top);
    tail.lineTo(x - dir * 22, (top + bottom) / 2);
    tail.lineTo(x - dir * 34, bottom);
    tail.lineTo(x, bottom);
    tail.closeSubpath();
    p.fillPath(tail, colour);
}

} // namespace

void VoteArt::banner(QPainter& p, const QSize& size)
{
    // The normal window's layout lays the banner over its title and the top of
    // its option list, so it is painted as a faint watermark.
    QImage layer(size, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter lp(&layer);
        lp.setRenderHints(p.renderHints());
        bannerArt(lp, size);
    }
    p.setOpacity(kBannerOpacity);
    p.drawImage(0, 0, layer);
    p.setOpacity(1.0);
}

void VoteArt::bannerArt(QPainter& p, const QSize& size)
{
    const ArtKit::Ramp accent = ArtKit::accent();
    const QRectF plate(44, 24, size.width() - 88, 74);
    ribbonTail(p, plate.left() + 12, 1, plate, accent.deep);
    ribbonTail(p, plate.right() - 12, -1, plate, accent.deep);
    const QPainterPath shape = ArtKit::rounded(plate, 18);
    ArtKit::shadow(p, shape, 8, 5, ArtKit::withAlpha(accent.deep, 110));
    QLinearGradient fill(plate.topLeft(), plate.bottomRight());
    fill.setColorAt(0, ArtKit::cool().base);
    fill.setColorAt(0.55, accent.base);
    fill.setColorAt(1, accent.deep);
    p.fillPath(shape, fill);
    p.setPen(QPen(QColor(255, 255, 255, 90), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawPath(ArtKit::rounded(plate.adjusted(4, 4, -4, -4), 14));

    const QRectF icon(plate.left() + 26, plate.center().y() - 19, 36, 38);
    GlyphArt::ballot(p, icon, Qt::white, QColor(255, 255, 255, 220), accent.base);
    QFont title = ArtKit::font(44, true);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 8);
    ArtKit::text(p, plate.adjusted(58, 0, 0, 0), QStringLiteral("投票"), title, Qt::white);

    ArtKit::star(p, QPointF(plate.right() - 14, plate.top() - 4), 9, 3.6, ArtKit::gold().base);
    ArtKit::star(p, QPointF(plate.right() + 6, plate.top() + 14), 5, 2, ArtKit::gold().light);
    ArtKit::star(p, QPointF(plate.left() + 6, plate.bottom() + 10), 6, 2.4, ArtKit::warm().light);
    p.setPen(Qt::NoPen);
    p.setBrush(ArtKit::cool().light);
    p.drawEllipse(QPointF(plate.left() - 8, plate.top() + 4), 3.5, 3.5);
    p.setBrush(ArtKit::warm().base);
    p.drawEllipse(QPointF(plate.right() - 40, plate.bottom() + 12), 2.5, 2.5);
}

void VoteArt::optionTrack(QPainter& p, const QSize& size, qreal capsuleWidth, qreal drop)
{
    const QRectF bar = barRect(size, drop);
    const QPainterPath shape = ArtKit::rounded(bar, bar.height() / 2);
    p.fillPath(shape, QColor(0xEE, 0xF0, 0xF8));
    p.setPen(QPen(QColor(0xDC, 0xE0, 0xEE), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(ArtKit::rounded(bar.adjusted(0.5, 0.5, -0.5, -0.5), bar.height() / 2 - 0.5));
    const QRectF capsule = capsuleRect(bar, capsuleWidth);
    p.fillPath(ArtKit::rounded(capsule, capsule.height() / 2), QColor(0x3A, 0x3F, 0x63));
}

void VoteArt::optionFill(QPainter& p, const QSize& size, qreal capsuleWidth, qreal drop)
{
    const ArtKit::Ramp accent = ArtKit::accent();
    const QRectF bar = barRect(size, drop);
    const QPainterPath shape = ArtKit::rounded(bar, bar.height() / 2);
    ArtKit::fillHorizontal(p, shape, QColor(0xCF, 0xC9, 0xFF), QColor(0x9E, 0x93, 0xFF));
    p.save();
    p.setClipPath(shape);
    p.fillRect(QRectF(bar.left(), bar.top(), bar.width(), bar.height() * 0.4), QColor(255, 255, 255, 32));
    p.restore();
    const QRectF capsule = capsuleRect(bar, capsuleWidth);
    ArtKit::fillVertical(p, ArtKit::rounded(capsule, capsule.height() / 2), accent.deep,
                         accent.deep.darker(130));
}

void VoteArt::versusBand(QPainter& p, const QSize& size)
{
    const ArtKit::Ramp warm = ArtKit::warm();
    const ArtKit::Ramp cool = ArtKit::cool();
    const qreal mid = size.width() / 2.0;
    const QRectF band(30, 16, size.width() - 60, size.height() - 30);
    const QPainterPath shape = ArtKit::rounded(band, band.height() / 2);
    ArtKit::shadow(p, shape, 6, 3, ArtKit::withAlpha(ArtKit::ink(), 35));
    QLinearGradient fill(band.topLeft(), band.topRight());
    fill.setColorAt(0, warm.soft);
    fill.setColorAt(0.5, Qt::white);
    fill.setColorAt(1, cool.soft);
    p.fillPath(shape, fill);
    QLinearGradient rim(band.topLeft(), band.topRight());
    rim.setColorAt(0, ArtKit::withAlpha(warm.base, 150));
    rim.setColorAt(0.5, ArtKit::withAlpha(ArtKit::mist(), 255));
    rim.setColorAt(1, ArtKit::withAlpha(cool.base, 150));
    p.setPen(QPen(QBrush(rim), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawPath(ArtKit::rounded(band.adjusted(0.75, 0.75, -0.75, -0.75), band.height() / 2));

    const QRectF medal(mid - 31, size.height() / 2.0 - 31, 62, 62);
    QPainterPath round;
    round.addEllipse(medal);
    ArtKit::shadow(p, round, 5, 3, ArtKit::withAlpha(ArtKit::ink(), 80));
    p.fillPath(round, Qt::white);
    QPainterPath face;
    face.addEllipse(medal.adjusted(4, 4, -4, -4));
    QLinearGradient split(medal.topLeft(), medal.bottomRight());
    split.setColorAt(0, warm.light);
    split.setColorAt(0.49, warm.base);
    split.setColorAt(0.51, cool.base);
    split.setColorAt(1, cool.deep);
    p.fillPath(face, split);
    GlyphArt::versus(p, medal.adjusted(12, 17, -12, -17), Qt::white);
}

void VoteArt::emblem(QPainter& p, const QSize& size, Team team)
{
    const ArtKit::Ramp ramp = team == Team::A ? ArtKit::warm() : ArtKit::cool();
    // Only the upper part is drawn: the team name sits over the lower third.
    const QRectF box(size.width() / 2.0 - 22, 4, 44, 48);
    const QPainterPath shield = shieldPath(box);
    ArtKit::shadow(p, shield, 4, 2, ArtKit::withAlpha(ramp.deep, 110));
    p.fillPath(shieldPath(box.adjusted(-2, -2, 2, 2)), Qt::white);
    QLinearGradient fill(box.topLeft(), box.bottomRight());
    fill.setColorAt(0, ramp.light);
    fill.setColorAt(1, ramp.deep);
    p.fillPath(shield, fill);
    const QString letter = team == Team::A ? QStringLiteral("A") : QStringLiteral("B");
    ArtKit::text(p, box.adjusted(0, -3, 0, -3), letter, ArtKit::font(24, true), Qt::white);
    ArtKit::star(p, QPointF(box.center().x(), box.bottom() - 9), 4, 1.7, QColor(255, 255, 255, 210));
}

void VoteArt::scoreHighlight(QPainter& p, const QSize& size)
{
    const ArtKit::Ramp gold = ArtKit::gold();
    const QRectF row(1, 1, size.width() - 2, size.height() - 2);
    QLinearGradient fill(row.topLeft(), row.topRight());
    fill.setColorAt(0, ArtKit::withAlpha(gold.base, 120));
    fill.setColorAt(1, ArtKit::withAlpha(gold.base, 30));
    p.fillPath(ArtKit::rounded(row, 6), fill);
    p.fillPath(ArtKit::rounded(QRectF(row.left(), row.top() + 5, 3, row.height() - 10), 1.5), gold.light);
}
