#include "paneimagewidget.h"

#include "panepixmap.h"

#include <QGraphicsLayout>
#include <QPainter>

PaneImageWidget::PaneImageWidget(QGraphicsItem* parent) : PaneWidget(parent) {}

void PaneImageWidget::setImagePath(const QString& path)
{
    m_path = path;
    m_pixmap = panefw::loadPixmap(path);
    updateGeometry();
    update();
}

void PaneImageWidget::setImage(const QPixmap& pixmap)
{
    m_path.clear();
    m_pixmap = pixmap;
    updateGeometry();
    update();
}

void PaneImageWidget::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    panefw::drawFramed(painter, rect(), m_pixmap, 1);
}

QSizeF PaneImageWidget::sizeHint(Qt::SizeHint which, const QSizeF& constraint) const
{
    if (which == Qt::PreferredSize && !m_pixmap.isNull() && (layout() == nullptr || layout()->count() == 0))
        return QSizeF(m_pixmap.size());
    return PaneWidget::sizeHint(which, constraint);
}
