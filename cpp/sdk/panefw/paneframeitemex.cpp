#include "paneframeitemex.h"

#include <QGraphicsSceneMouseEvent>

PaneFrameItemEx::PaneFrameItemEx(QGraphicsItem* parent) : PaneFrameItem(parent) {}

void PaneFrameItemEx::hoverEnterEvent(QGraphicsSceneHoverEvent* event)
{
    PaneFrameItem::hoverEnterEvent(event);
    emit entered();
}

void PaneFrameItemEx::hoverLeaveEvent(QGraphicsSceneHoverEvent* event)
{
    PaneFrameItem::hoverLeaveEvent(event);
    emit leaved();
}

void PaneFrameItemEx::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    if (!m_acceptClick || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    event->accept();
    emit pressed();
}

void PaneFrameItemEx::mouseReleaseEvent(QGraphicsSceneMouseEvent* event)
{
    emit released();
    if (rect().contains(event->pos()))
        emit clicked();
}
