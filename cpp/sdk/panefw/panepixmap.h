#pragma once

// Image loading and drawing shared by the widgets: a cache of loaded images (a missing image is
// logged once per path) and the frame-type drawing of an image into a rectangle.

#include <QPixmap>
#include <QRectF>
#include <QString>

class QPainter;

namespace panefw {

// The image at path (resource or file), or a null pixmap for an empty or missing path.
QPixmap loadPixmap(const QString& path);
// Draws pixmap into rect according to a PaneFrameItem::FrameType value.
void drawFramed(QPainter* painter, const QRectF& rect, const QPixmap& pixmap, int frameType);

} // namespace panefw
