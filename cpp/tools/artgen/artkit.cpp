#include "tools/artgen/artkit.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QtMath>

#include <vector>

namespace {

const char* const kCjkFamily = "Noto Sans CJK SC";
const char* const kCjkFiles[] = {
    "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc",
    "/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc",
};

// One horizontal then one vertical running-sum pass of a box blur.
void boxPass(std::vector<int>& channel, int width, int height, int radius)
{
    std::vector<int> line;
    auto blurLine = [&](int count, auto at) {
        line.assign(count, 0);
        int sum = 0;
        const int window = 2 * radius + 1;
        for (int i = -radius; i <= radius; ++i) {
            sum += at(qBound(0, i, count - 1));
        }
        for (int i = 0; i < count; ++i) {
            line[i] = (sum + window / 2) / window;
            sum += at(qMin(i + radius + 1, count - 1)) - at(qMax(i - radius, 0));
        }
        for (int i = 0; i < count; ++i) {
            at(i) = line[i];
        }
    };
    for (int y = 0; y < height; ++y) {
        blurLine(width, [&](int x) -> int& { return channel[y * width + x]; });
    }
    for (int x = 0; x < width; ++x) {
        blurLine(height, [&](int y) -> int& { return channel[y * width + x]; });
    }
}

} // namespace

ArtKit::Ramp ArtKit::accent()
{
    return {QColor(0x8C, 0x7B, 0xFF), QColor(0x6A, 0x5A, 0xF5), QColor(0x45, 0x36, 0xC8),
            QColor(0xEF, 0xED, 0xFF)};
}

ArtKit::Ramp ArtKit::warm()
{
    return {QColor(0xFF, 0x9A, 0x4D), QColor(0xFF, 0x66, 0x3A), QColor(0xD9, 0x3B, 0x2B),
            QColor(0xFF, 0xF0, 0xE8)};
}

ArtKit::Ramp ArtKit::ember()
{
    return {QColor(0xFF, 0x7A, 0x45), QColor(0xE6, 0x4B, 0x2A), QColor(0xB8, 0x32, 0x1B),
            QColor(0xFF, 0xF0, 0xE8)};
}

ArtKit::Ramp ArtKit::cool()
{
    return {QColor(0x4F, 0xB8, 0xFF), QColor(0x2E, 0x86, 0xFF), QColor(0x1B, 0x55, 0xD6),
            QColor(0xE8, 0xF3, 0xFF)};
}

ArtKit::Ramp ArtKit::gold()
{
    return {QColor(0xFF, 0xE0, 0x85), QColor(0xF6, 0xB9, 0x2B), QColor(0xC2, 0x80, 0x0A),
            QColor(0xFF, 0xF6, 0xDD)};
}

ArtKit::Ramp ArtKit::night()
{
    return {QColor(0x3A, 0x2F, 0x7A), QColor(0x24, 0x21, 0x52), QColor(0x15, 0x15, 0x33),
            QColor(0x4A, 0x43, 0x8C)};
}

QColor ArtKit::ink()
{
    return QColor(0x22, 0x26, 0x44);
}

QColor ArtKit::slate()
{
    return QColor(0x6A, 0x70, 0x90);
}

QColor ArtKit::mist()
{
    return QColor(0xE3, 0xE6, 0xF1);
}

QColor ArtKit::canvas()
{
    return QColor(0xF6, 0xF7, 0xFC);
}

QColor ArtKit::danger()
{
    return QColor(0xF0, 0x45, 0x3E);
}

QColor ArtKit::withAlpha(QColor colour, int alpha)
{
    colour.setAlpha(alpha);
    return colour;
}

QString ArtKit::cjkFamily()
{
    return QString::fromLatin1(kCjkFamily);
}

bool ArtKit::ensureCjkFont()
{
    if (QFontDatabase().families().contains(cjkFamily())) {
        return true;
    }
    for (const char* file : kCjkFiles) {
        QFontDatabase::addApplicationFont(QString::fromLatin1(file));
    }
    return QFontDatabase().families().contains(cjkFamily());
}

QFont ArtKit::font(qreal pixelSize, bool bold)
{
    QFont f(cjkFamily());
    f.setPixelSize(qRound(pixelSize));
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    f.setHintingPreference(QFont::PreferFullHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

QPainterPath ArtKit::rounded(const QRectF& rect, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

void ArtKit::fillVertical(QPainter& p, const QPainterPath& shape, const QColor& top, const QColor& bottom)
{
    const QRectF box = shape.boundingRect();
    QLinearGradient g(box.topLeft(), box.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillPath(shape, g);
}

void ArtKit::fillHorizontal(QPainter& p, const QPainterPath& shape, const QColor& left, const QColor& right)
{
    const QRectF box = shape.boundingRect();
    QLinearGradient g(box.topLeft(), box.topRight());
    g.setColorAt(0, left);
    g.setColorAt(1, right);
    p.fillPath(shape, g);
}

void ArtKit::shadow(QPainter& p, const QPainterPath& shape, qreal blur, qreal dy, const QColor& colour)
{
    const int pad = qCeil(blur) * 2 + 2;
    const QRect box = shape.boundingRect().toAlignedRect().adjusted(-pad, -pad, pad, pad);
    QImage layer(box.size(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter lp(&layer);
        lp.setRenderHint(QPainter::Antialiasing);
        lp.translate(-box.topLeft());
        lp.fillPath(shape, colour);
    }
    p.drawImage(QPointF(box.left(), box.top() + dy), blurred(layer, qMax(1, qRound(blur / 2))));
}

void ArtKit::text(QPainter& p, const QRectF& rect, const QString& words, const QFont& font,
                  const QColor& colour, Qt::Alignment align)
{
    p.setFont(font);
    p.setPen(colour);
    if (align != Qt::AlignCenter) {
        p.drawText(rect, int(align), words);
        return;
    }
    // Centre on the ink, not on the font's line box: CJK faces carry tall ascent and descent.
    const QFontMetricsF metrics(font);
    const QRectF ink = metrics.tightBoundingRect(words);
    const qreal x = rect.center().x() - metrics.horizontalAdvance(words) / 2;
    const qreal baseline = rect.center().y() - (ink.top() + ink.height() / 2);
    p.drawText(QPointF(qRound(x), qRound(baseline)), words);
}

void ArtKit::outlinedText(QPainter& p, const QRectF& rect, const QString& words, const QFont& font,
                          const QColor& fill, const QColor& outline, qreal outlineWidth)
{
    const QFontMetricsF metrics(font);
    const QRectF ink = metrics.tightBoundingRect(words);
    QPainterPath path;
    path.addText(0, 0, font, words);
    const QPointF origin(rect.center().x() - (ink.left() + ink.width() / 2),
                         rect.center().y() - (ink.top() + ink.height() / 2));
    path.translate(origin);
    p.strokePath(path, QPen(outline, outlineWidth * 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.fillPath(path, fill);
}

void ArtKit::star(QPainter& p, const QPointF& centre, qreal outer, qreal inner, const QColor& colour)
{
    QPainterPath path;
    for (int i = 0; i < 10; ++i) {
        const qreal radius = (i % 2 == 0) ? outer : inner;
        const qreal angle = -M_PI / 2 + i * M_PI / 5;
        const QPointF point(centre.x() + radius * qCos(angle), centre.y() + radius * qSin(angle));
        if (i == 0) {
            path.moveTo(point);
        } else {
            path.lineTo(point);
        }
    }
    path.closeSubpath();
    p.fillPath(path, colour);
}

QImage ArtKit::blurred(const QImage& image, int radius)
{
    QImage source = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int width = source.width();
    const int height = source.height();
    std::vector<int> channels[4];
    for (auto& channel : channels) {
        channel.resize(size_t(width) * size_t(height));
    }
    for (int y = 0; y < height; ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const int i = y * width + x;
            channels[0][i] = qAlpha(row[x]);
            channels[1][i] = qRed(row[x]);
            channels[2][i] = qGreen(row[x]);
            channels[3][i] = qBlue(row[x]);
        }
    }
    for (auto& channel : channels) {
        for (int pass = 0; pass < 3; ++pass) {
            boxPass(channel, width, height, radius);
        }
    }
    QImage result(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int i = y * width + x;
            const int alpha = channels[0][i];
            row[x] = qRgba(qMin(channels[1][i], alpha), qMin(channels[2][i], alpha),
                           qMin(channels[3][i], alpha), alpha);
        }
    }
    return result;
}
