#include "tools/artgen/glyphart.h"

#include "tools/artgen/artkit.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

QPen roundPen(const QColor& colour, qreal width)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QPointF at(const QRectF& box, qreal fx, qreal fy)
{
    return QPointF(box.left() + box.width() * fx, box.top() + box.height() * fy);
}

void eyes(QPainter& p, const QRectF& box, int score, const QColor& colour)
{
    const QPointF left = at(box, 0.35, 0.40);
    const QPointF right = at(box, 0.65, 0.40);
    const qreal r = box.width() * 0.065;
    if (score == 5) {
        ArtKit::star(p, left, r * 2.0, r * 0.9, colour);
        ArtKit::star(p, right, r * 2.0, r * 0.9, colour);
        return;
    }
    if (score == 4) {
        // Closed, smiling eyes.
        p.setPen(roundPen(colour, box.width() * 0.06));
        p.setBrush(Qt::NoBrush);
        for (const QPointF& c : {left, right}) {
            p.drawArc(QRectF(c.x() - r * 1.4, c.y() - r * 0.6, r * 2.8, r * 2.4), 20 * 16, 140 * 16);
        }
        return;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(left, r, r * 1.2);
    p.drawEllipse(right, r, r * 1.2);
}

void mouth(QPainter& p, const QRectF& box, int score, const QColor& colour)
{
    const qreal w = box.width();
    p.setPen(roundPen(colour, w * 0.07));
    p.setBrush(Qt::NoBrush);
    switch (score) {
    case 1:
        p.drawArc(QRectF(at(box, 0.32, 0.64), QSizeF(w * 0.36, w * 0.26)), 30 * 16, 120 * 16);
        break;
    case 2:
        p.drawLine(at(box, 0.36, 0.69), at(box, 0.64, 0.66));
        break;
    case 3:
        p.drawArc(QRectF(at(box, 0.34, 0.50), QSizeF(w * 0.32, w * 0.22)), 200 * 16, 140 * 16);
        break;
    default: {
        // Open smile: a filled half disc.
        QPainterPath smile;
        const QRectF bowl(at(box, 0.28, 0.44), QSizeF(w * 0.44, w * 0.38));
        smile.moveTo(bowl.left(), bowl.center().y());
        smile.arcTo(bowl, 180, 180);
        smile.closeSubpath();
        p.setPen(Qt::NoPen);
        p.fillPath(smile, colour);
        break;
    }
    }
}

} // namespace

void GlyphArt::ballot(QPainter& p, const QRectF& box, const QColor& body, const QColor& slip,
                      const QColor& mark)
{
    const qreal w = box.width();
    const qreal h = box.height();
    // The slip stands up out of the slot.
    const QRectF paper(box.left() + w * 0.26, box.top(), w * 0.48, h * 0.56);
    p.fillPath(ArtKit::rounded(paper, w * 0.05), slip);
    tick(p,
         QRectF(paper.left() + paper.width() * 0.22, paper.top() + paper.height() * 0.18,
                paper.width() * 0.56, paper.height() * 0.42),
         mark, qMax(1.2, w * 0.08));
    const QRectF chest(box.left(), box.top() + h * 0.44, w, h * 0.56);
    QPainterPath chestPath = ArtKit::rounded(chest, w * 0.10);
    p.fillPath(chestPath, body);
    const QRectF slot(box.left() + w * 0.18, chest.top() + h * 0.08, w * 0.64, qMax(1.0, h * 0.07));
    p.fillPath(ArtKit::rounded(slot, slot.height() / 2), ArtKit::withAlpha(mark, 150));
}

void GlyphArt::tick(QPainter& p, const QRectF& box, const QColor& colour, qreal width)
{
    QPainterPath path;
    path.moveTo(at(box, 0.0, 0.55));
    path.lineTo(at(box, 0.38, 0.92));
    path.lineTo(at(box, 1.0, 0.08));
    p.strokePath(path, roundPen(colour, width));
}

void GlyphArt::cross(QPainter& p, const QRectF& box, const QColor& colour, qreal width)
{
    p.setPen(roundPen(colour, width));
    p.drawLine(box.topLeft(), box.bottomRight());
    p.drawLine(box.topRight(), box.bottomLeft());
}

void GlyphArt::clock(QPainter& p, const QRectF& box, const QColor& ring, const QColor& face,
                     const QColor& hands)
{
    const qreal side = qMin(box.width(), box.height());
    const QRectF dial(box.center().x() - side / 2, box.center().y() - side / 2, side, side);
    QPainterPath outer;
    outer.addEllipse(dial);
    ArtKit::fillVertical(p, outer, ring.lighter(115), ring);
    QPainterPath inner;
    inner.addEllipse(dial.adjusted(side * 0.12, side * 0.12, -side * 0.12, -side * 0.12));
    p.fillPath(inner, face);
    p.setPen(roundPen(hands, qMax(1.4, side * 0.08)));
    const QPointF c = dial.center();
    p.drawLine(c, c + QPointF(0, -side * 0.26));
    p.drawLine(c, c + QPointF(side * 0.20, side * 0.08));
    p.setPen(Qt::NoPen);
    p.setBrush(hands);
    p.drawEllipse(c, side * 0.05, side * 0.05);
    // Two small bells on top make it read as a timer rather than a dot.
    p.setBrush(ring);
    for (const qreal fx : {0.18, 0.82}) {
        p.drawEllipse(at(dial, fx, 0.08), side * 0.09, side * 0.09);
    }
}

void GlyphArt::face(QPainter& p, const QRectF& box, int score)
{
    static const QColor tops[] = {QColor(0xB9, 0xC2, 0xD8), QColor(0xFF, 0xD9, 0x8A),
                                  QColor(0xFF, 0xD8, 0x5C), QColor(0xFF, 0xCE, 0x3A),
                                  QColor(0xFF, 0xC2, 0x1F)};
    static const QColor bottoms[] = {QColor(0x8E, 0x99, 0xB8), QColor(0xF4, 0xB4, 0x4C),
                                     QColor(0xF5, 0xAE, 0x2A), QColor(0xF2, 0x9B, 0x12),
                                     QColor(0xF0, 0x84, 0x0A)};
    const int index = qBound(1, score, 5) - 1;
    QPainterPath disc;
    disc.addEllipse(box);
    ArtKit::fillVertical(p, disc, tops[index], bottoms[index]);
    const QColor features = index == 0 ? QColor(0x3A, 0x40, 0x5C) : QColor(0x6B, 0x3A, 0x05);
    eyes(p, box, score, features);
    mouth(p, box, score, features);
}

void GlyphArt::chevron(QPainter& p, const QRectF& box, const QColor& colour, qreal width)
{
    QPainterPath path;
    path.moveTo(box.topRight());
    path.lineTo(box.left(), box.center().y());
    path.lineTo(box.bottomRight());
    p.strokePath(path, roundPen(colour, width));
}

void GlyphArt::versus(QPainter& p, const QRectF& box, const QColor& colour)
{
    QFont f = ArtKit::font(box.height() * 0.78, true);
    f.setItalic(true);
    f.setLetterSpacing(QFont::PercentageSpacing, 92);
    ArtKit::text(p, box, QStringLiteral("VS"), f, colour);
}
