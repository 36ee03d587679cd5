#include "panescrollarea.h"

#include <QGraphicsLayout>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsSceneResizeEvent>
#include <QGraphicsSceneWheelEvent>
#include <QPainter>
#include <QtMath>

namespace {

const qreal kBarWidth = 6;
const qreal kBarMargin = 2;
const qreal kMinThumb = 20;

} // namespace

PaneScrollArea::PaneScrollArea(QGraphicsItem* parent) : PaneWidget(parent)
{
    setLayout(Anchor);
    setFlag(ItemClipsChildrenToShape, true);
    setAcceptHoverEvents(true);
}

PaneScrollArea::~PaneScrollArea()
{
    // The content reports size changes to this area; it must not while the area is destroyed.
    if (m_content) {
        m_content->setParentLayoutItem(nullptr);
        disconnect(m_content, nullptr, this, nullptr);
    }
}

void PaneScrollArea::setContentWidget(QGraphicsWidget* content)
{
    if (content == m_content)
        return;
    if (m_content) {
        m_content->setParentLayoutItem(nullptr);
        disconnect(m_content, nullptr, this, nullptr);
        if (m_ownsDefaultContent)
            delete m_content.data();
    }
    m_ownsDefaultContent = false;
    m_content = content;
    m_pos = 0;
    if (content == nullptr)
        return;
    content->setParentItem(this);
    content->setParentLayoutItem(this);
    connect(content, &QGraphicsWidget::geometryChanged, this, [this] {
        if (m_pos > maximumScrollPos())
            setScrollPos(maximumScrollPos());
        update();
    });
    fitContent();
}

PaneWidget* PaneScrollArea::contentPane()
{
    if (!m_content) {
        auto* content = new PaneWidget;
        content->setObjectName(QStringLiteral("scrollContent"));
        setContentWidget(content);
        m_ownsDefaultContent = true;
    }
    return qobject_cast<PaneWidget*>(m_content.data());
}

void PaneScrollArea::addItem(QGraphicsLayoutItem* item)
{
    insertItem(-1, item);
}

void PaneScrollArea::insertItem(int index, QGraphicsLayoutItem* item)
{
    PaneWidget* content = contentPane();
    if (content == nullptr)
        return;
    content->insertItem(index, item);
    fitContent();
}

void PaneScrollArea::removeItem(QGraphicsLayoutItem* item)
{
    if (auto* content = qobject_cast<PaneWidget*>(m_content.data())) {
        content->removeItem(item);
        fitContent();
    }
}

void PaneScrollArea::setScrollBarPolicy(int policy)
{
    m_policy = qBound(int(Qt::ScrollBarAsNeeded), policy, int(Qt::ScrollBarAlwaysOn));
    update();
}

qreal PaneScrollArea::contentHeight() const
{
    return m_content ? m_content->size().height() : 0;
}

int PaneScrollArea::maximumScrollPos() const
{
    return qMax(0, qCeil(contentHeight() - size().height()));
}

void PaneScrollArea::setScrollPos(int pos)
{
    pos = qBound(0, pos, maximumScrollPos());
    if (pos == m_pos) {
        placeContent();
        return;
    }
    m_pos = pos;
    placeContent();
    update();
    emit scrollPosChanged(m_pos);
}

void PaneScrollArea::ensureVisible(const QRectF& contentRect)
{
    if (contentRect.top() < m_pos)
        setScrollPos(qFloor(contentRect.top()));
    else if (contentRect.bottom() > m_pos + size().height())
        setScrollPos(qCeil(contentRect.bottom() - size().height()));
}

void PaneScrollArea::ensureItemsVisible(const QList<const QGraphicsItem*>& items)
{
    if (!m_content || items.isEmpty())
        return;
    // A change deep inside the content may not have reached the content's own layout yet.
    for (const QGraphicsItem* item : items) {
        for (QGraphicsItem* parent = item->parentItem(); parent != nullptr; parent = parent->parentItem()) {
            if (QGraphicsLayout* layout =
                    parent->isWidget() ? static_cast<QGraphicsWidget*>(parent)->layout() : nullptr)
                layout->invalidate();
            if (parent == m_content)
                break;
        }
    }
    fitContent();
    const QRectF first = items.first()->mapRectToItem(m_content, items.first()->boundingRect());
    QRectF all = first;
    for (const QGraphicsItem* item : items)
        all |= item->mapRectToItem(m_content, item->boundingRect());
    ensureVisible(all.height() <= size().height() ? all : first);
}

PaneScrollArea* PaneScrollArea::enclosing(const QGraphicsItem* item)
{
    for (QGraphicsItem* parent = item->parentItem(); parent != nullptr; parent = parent->parentItem()) {
        if (auto* area = qobject_cast<PaneScrollArea*>(parent->toGraphicsObject()))
            return area;
    }
    return nullptr;
}

bool PaneScrollArea::isScrollBarShown() const
{
    if (m_policy == Qt::ScrollBarAlwaysOff)
        return false;
    return m_policy == Qt::ScrollBarAlwaysOn || maximumScrollPos() > 0;
}

QRectF PaneScrollArea::scrollBarRect() const
{
    return QRectF(size().width() - kBarWidth - kBarMargin, kBarMargin, kBarWidth,
                  qMax<qreal>(0, size().height() - 2 * kBarMargin));
}

QRectF PaneScrollArea::thumbRect() const
{
    const QRectF track = scrollBarRect();
    const qreal total = qMax(contentHeight(), size().height());
    if (total <= 0)
        return track;
    const qreal length = qMax(kMinThumb, track.height() * size().height() / total);
    const int maxPos = maximumScrollPos();
    const qreal offset = maxPos > 0 ? (track.height() - length) * m_pos / maxPos : 0;
    return QRectF(track.left(), track.top() + offset, track.width(), qMin(length, track.height()));
}

void PaneScrollArea::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    if (!isScrollBarShown())
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(Qt::NoPen);
    painter->setBrush(QColor(0, 0, 0, m_hovered ? 28 : 14));
    painter->drawRoundedRect(scrollBarRect(), kBarWidth / 2, kBarWidth / 2);
    if (maximumScrollPos() > 0) {
        painter->setBrush(QColor(0, 0, 0, m_hovered || m_draggingThumb ? 120 : 80));
        painter->drawRoundedRect(thumbRect(), kBarWidth / 2, kBarWidth / 2);
    }
    painter->restore();
}

void PaneScrollArea::fitContent()
{
    if (!m_content)
        return;
    const qreal width = size().width();
    const QSizeF hint = m_content->effectiveSizeHint(Qt::PreferredSize, QSizeF(width, -1));
    const QSizeF minimum = m_content->effectiveSizeHint(Qt::MinimumSize, QSizeF(width, -1));
    const qreal height = qMax(size().height(), qMax(hint.height(), minimum.height()));
    m_content->resize(width, height);
    if (auto* pane = qobject_cast<PaneWidget*>(m_content.data()))
        pane->activateLayouts();
    setScrollPos(m_pos);
}

void PaneScrollArea::placeContent()
{
    if (m_content)
        m_content->setPos(0, -m_pos);
}

void PaneScrollArea::resizeEvent(QGraphicsSceneResizeEvent* event)
{
    PaneWidget::resizeEvent(event);
    fitContent();
}

bool PaneScrollArea::event(QEvent* event)
{
    // The content's layout asks for room here when its items change.
    if (event->type() == QEvent::LayoutRequest)
        fitContent();
    return PaneWidget::event(event);
}

void PaneScrollArea::wheelEvent(QGraphicsSceneWheelEvent* event)
{
    if (event->orientation() != Qt::Vertical || m_singleStep <= 0 || maximumScrollPos() == 0) {
        event->ignore();
        return;
    }
    const qreal steps = event->delta() / 120.0;
    setScrollPos(m_pos - qRound(steps * m_singleStep * 3));
    event->accept();
}

void PaneScrollArea::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !isScrollBarShown() || maximumScrollPos() == 0 ||
        !scrollBarRect().adjusted(-kBarMargin, 0, kBarMargin, 0).contains(event->pos())) {
        event->ignore();
        return;
    }
    const QRectF thumb = thumbRect();
    if (!thumb.contains(event->pos()))
        setScrollPos(m_pos + (event->pos().y() < thumb.top() ? -1 : 1) * qRound(size().height()));
    m_draggingThumb = true;
    m_dragStartY = event->pos().y();
    m_dragStartPos = m_pos;
    event->accept();
}

void PaneScrollArea::mouseMoveEvent(QGraphicsSceneMouseEvent* event)
{
    if (!m_draggingThumb)
        return;
    const qreal travel = scrollBarRect().height() - thumbRect().height();
    if (travel <= 0)
        return;
    const qreal delta = event->pos().y() - m_dragStartY;
    setScrollPos(m_dragStartPos + qRound(delta * maximumScrollPos() / travel));
}

void PaneScrollArea::mouseReleaseEvent(QGraphicsSceneMouseEvent*)
{
    m_draggingThumb = false;
    update();
}

void PaneScrollArea::hoverEnterEvent(QGraphicsSceneHoverEvent* event)
{
    m_hovered = true;
    update();
    PaneWidget::hoverEnterEvent(event);
}

void PaneScrollArea::hoverLeaveEvent(QGraphicsSceneHoverEvent* event)
{
    m_hovered = false;
    update();
    PaneWidget::hoverLeaveEvent(event);
}
