#include "panewidget.h"

#include "paneboxlayout.h"
#include "panelog.h"

#include <QGraphicsSceneResizeEvent>
#include <QWidget>
#include <QtGlobal>

#include <optional>

// One axis of an anchor: distances from the near and far edge, a centre offset and a length.
struct AxisAnchor
{
    std::optional<qreal> nearEdge;
    std::optional<qreal> farEdge;
    std::optional<qreal> center;
    std::optional<qreal> length;

    // Start and length of the child on this axis inside a parent of the given extent.
    QPair<qreal, qreal> place(qreal extent, qreal preferred) const
    {
        if (nearEdge && farEdge)
            return {*nearEdge, qMax<qreal>(0, extent - *nearEdge - *farEdge)};
        const qreal len = length.value_or(preferred);
        if (nearEdge)
            return {*nearEdge, len};
        if (farEdge)
            return {extent - *farEdge - len, len};
        if (center)
            return {(extent - len) / 2 + *center, len};
        return {0, len};
    }
};

struct PaneWidget::AnchorSpec
{
    AxisAnchor horizontal;
    AxisAnchor vertical;
};

namespace {

bool parseNumber(const QString& text, qreal* value)
{
    bool ok = false;
    const qreal number = text.trimmed().toDouble(&ok);
    if (!ok || !qIsFinite(number) || qAbs(number) > 1e6)
        return false;
    *value = number;
    return true;
}

// "a-b" from an edge: the span starts at a and ends at b, both measured from that edge.
bool parseSpan(const QString& text, qreal* from, qreal* to)
{
    const int dash = text.indexOf(QLatin1Char('-'), 1);
    if (dash < 0)
        return false;
    return parseNumber(text.left(dash), from) && parseNumber(text.mid(dash + 1), to);
}

bool applyAnchorPart(const QString& key, const QString& value, AxisAnchor* h, AxisAnchor* v)
{
    const bool isLeft = key == QLatin1String("Left"), isRight = key == QLatin1String("Right");
    const bool isTop = key == QLatin1String("Top"), isBottom = key == QLatin1String("Bottom");
    AxisAnchor* axis =
        (isLeft || isRight || key == QLatin1String("HCenter") || key == QLatin1String("Width")) ? h : v;
    qreal from = 0, to = 0;
    if ((isLeft || isRight || isTop || isBottom) && parseSpan(value, &from, &to)) {
        // The span a..b is measured from that edge, so the edge distance is the smaller number.
        ((isLeft || isTop) ? axis->nearEdge : axis->farEdge) = qMin(from, to);
        axis->length = qAbs(to - from);
        return true;
    }
    qreal number = 0;
    if (!parseNumber(value, &number))
        return false;
    if (isLeft || isTop)
        axis->nearEdge = number;
    else if (isRight || isBottom)
        axis->farEdge = number;
    else if (key == QLatin1String("HCenter") || key == QLatin1String("VCenter"))
        axis->center = number;
    else if (key == QLatin1String("Width") || key == QLatin1String("Height"))
        axis->length = qMax<qreal>(0, number);
    else
        return false;
    return true;
}

} // namespace

PaneWidget::PaneWidget(QGraphicsItem* parent) : QGraphicsWidget(parent) {}

PaneWidget::~PaneWidget()
{
    delete m_anchor;
}

void PaneWidget::setLayout(LayoutType type)
{
    PaneBoxLayout* box = boxLayout();
    m_layoutType = type;
    if (type != Anchor) {
        if (box != nullptr)
            box->setOrientation(type == HBox ? Qt::Horizontal : Qt::Vertical);
        updateGeometry();
        return;
    }
    if (box != nullptr)
        QGraphicsWidget::setLayout(nullptr);
    updateGeometry();
    placeAnchoredChildren();
}

PaneBoxLayout* PaneWidget::boxLayout() const
{
    return m_layoutType == Anchor ? nullptr : dynamic_cast<PaneBoxLayout*>(layout());
}

// Made with the first child only: a layout posts a layout request when it is set, and a widget
// that never has children (most of them) would carry that event until the next event loop pass.
// Null when the owner set a layout of another kind, which stays.
PaneBoxLayout* PaneWidget::ensureBoxLayout()
{
    if (PaneBoxLayout* box = boxLayout())
        return box;
    if (layout() != nullptr)
        return nullptr;
    auto* box = new PaneBoxLayout(m_layoutType == HBox ? Qt::Horizontal : Qt::Vertical);
    box->setContentsMargins(m_margins.left(), m_margins.top(), m_margins.right(), m_margins.bottom());
    box->setSpacing(m_spacing);
    QGraphicsWidget::setLayout(box);
    return box;
}

// Without a layout yet, a box widget measures like an empty box: its margins, and no maximum.
QSizeF PaneWidget::sizeHint(Qt::SizeHint which, const QSizeF& constraint) const
{
    if (m_layoutType == Anchor || layout() != nullptr)
        return QGraphicsWidget::sizeHint(which, constraint);
    switch (which) {
    case Qt::MinimumSize:
    case Qt::PreferredSize:
        return QSizeF(m_margins.left() + m_margins.right(), m_margins.top() + m_margins.bottom());
    case Qt::MaximumSize:
        return QSizeF(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    default:
        return QGraphicsWidget::sizeHint(which, constraint);
    }
}

void PaneWidget::setFixWidth(qreal width)
{
    width = qMax<qreal>(0, width);
    setMinimumWidth(width);
    setMaximumWidth(width);
    setPreferredWidth(width);
    setSizePolicy(QSizePolicy::Fixed, sizePolicy().verticalPolicy());
}

void PaneWidget::setFixHeight(qreal height)
{
    height = qMax<qreal>(0, height);
    setMinimumHeight(height);
    setMaximumHeight(height);
    setPreferredHeight(height);
    setSizePolicy(sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
}

void PaneWidget::setFixSize(qreal width, qreal height)
{
    setFixWidth(width);
    setFixHeight(height);
    resize(width, height);
}

void PaneWidget::setMargins(const QMarginsF& margins)
{
    m_margins = margins;
    if (PaneBoxLayout* box = boxLayout())
        box->setContentsMargins(margins.left(), margins.top(), margins.right(), margins.bottom());
    else if (m_layoutType == Anchor)
        placeAnchoredChildren();
    else
        updateGeometry();
}

void PaneWidget::setMargins(qreal left, qreal top, qreal right, qreal bottom)
{
    setMargins(QMarginsF(left, top, right, bottom));
}

QMarginsF PaneWidget::margins() const
{
    return m_margins;
}

void PaneWidget::setSpacing(qreal spacing)
{
    m_spacing = qMax<qreal>(0, spacing);
    if (PaneBoxLayout* box = boxLayout())
        box->setSpacing(m_spacing);
}

void PaneWidget::addItem(QGraphicsLayoutItem* item)
{
    insertItem(-1, item);
}

void PaneWidget::insertItem(int index, QGraphicsLayoutItem* item)
{
    if (item == nullptr || item == this)
        return;
    if (m_layoutType != Anchor) {
        if (PaneBoxLayout* box = ensureBoxLayout())
            box->insertItemAt(index, item);
        else
            PANE_LOG(1, QStringLiteral("a box with a layout of its owner's takes no items; ignored in ") +
                            objectName());
        return;
    }
    QGraphicsItem* graphicsItem = item->graphicsItem();
    if (graphicsItem == nullptr) {
        PANE_LOG(1,
                 QStringLiteral("an anchor box holds widgets only; layout item ignored in ") + objectName());
        return;
    }
    graphicsItem->setParentItem(this);
    if (item->isLayout())
        return;
    auto* widget = static_cast<QGraphicsWidget*>(graphicsItem);
    if (widget->size().isEmpty())
        widget->resize(widget->effectiveSizeHint(Qt::PreferredSize));
    placeAnchoredChildren();
}

void PaneWidget::removeItem(QGraphicsLayoutItem* item)
{
    if (item == nullptr)
        return;
    if (PaneBoxLayout* box = boxLayout())
        box->removeLayoutItem(item);
    if (QGraphicsItem* graphicsItem = item->graphicsItem()) {
        if (graphicsItem->parentItem() == this)
            graphicsItem->hide();
    }
}

void PaneWidget::setItemAlignment(QGraphicsLayoutItem* item, Qt::Alignment alignment)
{
    if (PaneBoxLayout* box = boxLayout())
        box->setItemAlignment(item, alignment);
}

bool PaneWidget::setAnchor(const QString& anchor)
{
    AnchorSpec spec;
    const QStringList parts = anchor.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return false;
    for (const QString& part : parts) {
        const int colon = part.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            return false;
        if (!applyAnchorPart(part.left(colon).trimmed(), part.mid(colon + 1), &spec.horizontal,
                             &spec.vertical))
            return false;
    }
    if (m_anchor == nullptr)
        m_anchor = new AnchorSpec;
    *m_anchor = spec;
    m_anchorText = anchor;
    if (auto* parent = qobject_cast<PaneWidget*>(parentWidget()))
        parent->placeAnchoredChildren();
    return true;
}

QRectF PaneWidget::anchoredRect(const PaneWidget* child) const
{
    const QRectF area = rect().marginsRemoved(m_margins);
    const QSizeF preferred = child->effectiveSizeHint(Qt::PreferredSize);
    const auto h = child->m_anchor->horizontal.place(area.width(), preferred.width());
    const auto v = child->m_anchor->vertical.place(area.height(), preferred.height());
    return QRectF(area.left() + h.first, area.top() + v.first, h.second, v.second);
}

void PaneWidget::placeAnchoredChildren()
{
    if (m_layoutType != Anchor)
        return;
    for (QGraphicsItem* item : childItems()) {
        if (!item->isWidget())
            continue;
        auto* child = qobject_cast<PaneWidget*>(static_cast<QGraphicsWidget*>(item));
        if (child != nullptr && child->m_anchor != nullptr)
            child->setGeometry(anchoredRect(child));
    }
}

void PaneWidget::activateLayouts()
{
    if (QGraphicsLayout* own = layout())
        own->activate();
    placeAnchoredChildren();
    for (QGraphicsItem* item : childItems()) {
        if (!item->isWidget())
            continue;
        if (auto* child = qobject_cast<PaneWidget*>(static_cast<QGraphicsWidget*>(item)))
            child->activateLayouts();
        else if (QGraphicsLayout* childLayout = static_cast<QGraphicsWidget*>(item)->layout())
            childLayout->activate();
    }
}

void PaneWidget::resizeEvent(QGraphicsSceneResizeEvent* event)
{
    QGraphicsWidget::resizeEvent(event);
    placeAnchoredChildren();
}
