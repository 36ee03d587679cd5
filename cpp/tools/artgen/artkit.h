#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <QRectF>
#include <QString>

class QPainter;

// Palette and drawing primitives shared by every image of the set, so that
// colours, corner radii, shadows and type stay consistent across windows.
class ArtKit
{
public:
    // Colour families: accent for the normal vote and the management windows,
    // warm and cool for the two teams, gold for judges, night for the judge window.
    struct Ramp
    {
        QColor light;
        QColor base;
        QColor deep;
        QColor soft;
    };
    static Ramp accent();
    static Ramp warm();
    // The warm family darkened far enough to carry white words.
    static Ramp ember();
    static Ramp cool();
    static Ramp gold();
    static Ramp night();

    static QColor ink();
    static QColor slate();
    static QColor mist();
    static QColor canvas();
    static QColor danger();
    static QColor withAlpha(QColor colour, int alpha);

    // The CJK family every word of the set is drawn in.
    static QString cjkFamily();
    // Makes sure the CJK family is known to the font database; false when it is not installed.
    static bool ensureCjkFont();
    static QFont font(qreal pixelSize, bool bold);

    static QPainterPath rounded(const QRectF& rect, qreal radius);
    static void fillVertical(QPainter& p, const QPainterPath& shape, const QColor& top, const QColor& bottom);
    static void fillHorizontal(QPainter& p, const QPainterPath& shape, const QColor& left,
                               const QColor& right);
    // A blurred copy of `shape` offset by `dy`, painted beneath whatever comes next.
    static void shadow(QPainter& p, const QPainterPath& shape, qreal blur, qreal dy, const QColor& colour);
    static void text(QPainter& p, const QRectF& rect, const QString& words, const QFont& font,
                     const QColor& colour, Qt::Alignment align = Qt::AlignCenter);
    // Text with a thin darker outline, for words laid over colourful art.
    static void outlinedText(QPainter& p, const QRectF& rect, const QString& words, const QFont& font,
                             const QColor& fill, const QColor& outline, qreal outlineWidth);
    static void star(QPainter& p, const QPointF& centre, qreal outer, qreal inner, const QColor& colour);

    // Three-pass box blur over all channels of a premultiplied image.
    static QImage blurred(const QImage& image, int radius);
};
