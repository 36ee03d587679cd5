#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

// Small pictograms drawn into a given box, reused by icons, buttons and tiles.
class GlyphArt
{
public:
    // A ballot box with a slip going in; `body` fills the box, `slip` the paper.
    static void ballot(QPainter& p, const QRectF& box, const QColor& body, const QColor& slip,
                       const QColor& mark);
    static void tick(QPainter& p, const QRectF& box, const QColor& colour, qreal width);
    static void cross(QPainter& p, const QRectF& box, const QColor& colour, qreal width);
    static void clock(QPainter& p, const QRectF& box, const QColor& ring, const QColor& face,
                      const QColor& hands);
    // A round face whose expression grows happier from score 1 to score 5.
    static void face(QPainter& p, const QRectF& box, int score);
    // A left-pointing chevron.
    static void chevron(QPainter& p, const QRectF& box, const QColor& colour, qreal width);
    // "VS" in bold slanted capitals.
    static void versus(QPainter& p, const QRectF& box, const QColor& colour);
};
