#include "paneframeitem.h"

#include "panepixmap.h"

#include <QMetaEnum>
#include <QPainter>

PaneFrameItem::PaneFrameItem(QGraphicsItem* parent) : PaneWidget(parent) {}

void PaneFrameItem::setImagePath(const QString& paths)
{
    setImages(paths.isEmpty() ? QStringList() : paths.split(QLatin1Char('|')));
}

void PaneFrameItem::setImages(const QStringList& paths)
{
    m_images.clear();
    for (const QString& path : paths)
        m_images.append(path.trimmed());
    for (const QString& path : qAsConst(m_images))
        panefw::loadPixmap(path);
    updateGeometry();
    update();
}

void PaneFrameItem::setImage(const QString& path)
{
    if (m_images.isEmpty())
        m_images.append(path);
    else
        m_images[0] = path;
    panefw::loadPixmap(path);
    update();
}

void PaneFrameItem::setFrameType(int type)
{
    m_frameType = type;
    update();
}

int PaneFrameItem::frameTypeFromString(const QString& text)
{
    bool isNumber = false;
    const int number = text.toInt(&isNumber);
    if (isNumber)
        return (number >= Tiled && number <= Centered) ? number : -1;
    const QMetaEnum types = QMetaEnum::fromType<FrameType>();
    const QByteArray name = text.trimmed().toLatin1();
    if (name == "Stretch")
        return Stretched;
    return types.keyToValue(name.constData());
}

void PaneFrameItem::setPressed(bool pressed)
{
    m_pressedLook = pressed;
    update();
}

QString PaneFrameItem::imageAt(int index) const
{
    const QString path = m_images.value(index);
    return path.isEmpty() ? m_images.value(0) : path;
}

int PaneFrameItem::currentImageIndex() const
{
    if (m_pressedLook)
        return 2;
    if (m_hovered && acceptHoverEvents())
        return 1;
    return 0;
}

void PaneFrameItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    panefw::drawFramed(painter, rect(), panefw::loadPixmap(imageAt(currentImageIndex())), m_frameType);
}

void PaneFrameItem::hoverEnterEvent(QGraphicsSceneHoverEvent* event)
{
    m_hovered = true;
    update();
    PaneWidget::hoverEnterEvent(event);
}

void PaneFrameItem::hoverLeaveEvent(QGraphicsSceneHoverEvent* event)
{
    m_hovered = false;
    update();
    PaneWidget::hoverLeaveEvent(event);
}
