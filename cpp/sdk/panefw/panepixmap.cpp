#include "panepixmap.h"

#include "paneframeitem.h"
#include "panelog.h"

#include <QHash>
#include <QPainter>
#include <QPixmapCache>
#include <QSet>

namespace panefw {
namespace {

QSet<QString>& missingPaths()
{
    static QSet<QString> paths;
    return paths;
}

// Corner sizes of a nine- or three-piece image: everything but a one-pixel middle line.
int cornerSize(int extent)
{
    return qMax(0, (extent - 1) / 2);
}

void drawNinePieces(QPainter* painter, const QRectF& rect, const QPixmap& pixmap, bool horizontal,
                    bool vertical)
{
    const int w = pixmap.width();
    const int h = pixmap.height();
    const qreal cx = horizontal ? qMin<qreal>(cornerSize(w), rect.width() / 2) : 0;
    const qreal cy = vertical ? qMin<qreal>(cornerSize(h), rect.height() / 2) : 0;
    const int sx = horizontal ? cornerSize(w) : 0;
    const int sy = vertical ? cornerSize(h) : 0;
    const qreal srcX[4] = {0, qreal(sx), qreal(w - sx), qreal(w)};
    const qreal srcY[4] = {0, qreal(sy), qreal(h - sy), qreal(h)};
    const qreal dstX[4] = {rect.left(), rect.left() + cx, rect.right() - cx, rect.right()};
    const qreal dstY[4] = {rect.top(), rect.top() + cy, rect.bottom() - cy, rect.bottom()};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRectF src(QPointF(srcX[col], srcY[row]), QPointF(srcX[col + 1], srcY[row + 1]));
            const QRectF dst(QPointF(dstX[col], dstY[row]), QPointF(dstX[col + 1], dstY[row + 1]));
            if (src.isEmpty() || dst.isEmpty())
                continue;
            painter->drawPixmap(dst, pixmap, src);
        }
    }
}

QRectF centeredRect(const QRectF& rect, const QSizeF& size)
{
    return QRectF(rect.center().x() - size.width() / 2, rect.center().y() - size.height() / 2, size.width(),
                  size.height());
}

} // namespace

QPixmap loadPixmap(const QString& path)
{
    if (path.isEmpty())
        return QPixmap();
    QPixmap pixmap;
    if (QPixmapCache::find(path, &pixmap))
        return pixmap;
    if (missingPaths().contains(path))
        return QPixmap();
    if (!pixmap.load(path)) {
        missingPaths().insert(path);
        PANE_LOG(1, QStringLiteral("image not found: ") + path);
        return QPixmap();
    }
    QPixmapCache::insert(path, pixmap);
    return pixmap;
}

void drawFramed(QPainter* painter, const QRectF& rect, const QPixmap& pixmap, int frameType)
{
    if (pixmap.isNull() || rect.isEmpty())
        return;
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
    switch (frameType) {
    case PaneFrameItem::Tiled:
        painter->drawTiledPixmap(rect, pixmap);
        break;
    case PaneFrameItem::NinePieces:
        drawNinePieces(painter, rect, pixmap, true, true);
        break;
    case PaneFrameItem::HThreePieces:
        drawNinePieces(painter, rect, pixmap, true, false);
        break;
    case PaneFrameItem::VThreePieces:
        drawNinePieces(painter, rect, pixmap, false, true);
        break;
    case PaneFrameItem::KeepAspect:
        painter->drawPixmap(
            centeredRect(rect, QSizeF(pixmap.size()).scaled(rect.size(), Qt::KeepAspectRatio)), pixmap,
            QRectF(pixmap.rect()));
        break;
    case PaneFrameItem::Centered:
        painter->drawPixmap(centeredRect(rect, QSizeF(pixmap.size())), pixmap, QRectF(pixmap.rect()));
        break;
    default:
        painter->drawPixmap(rect, pixmap, QRectF(pixmap.rect()));
        break;
    }
    painter->restore();
}

} // namespace panefw
