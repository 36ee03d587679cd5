#include "panefocuschainlinker.h"

#include "panewidget.h"

#include <QGraphicsWidget>

void PaneFocusChainLinker::attach(QGraphicsWidget* widget, QGraphicsWidget* parent)
{
    if (widget->parentItem() != nullptr || widget->isPanel()) {
        addToParent(widget, parent);
        return;
    }
    widget->setFlag(QGraphicsItem::ItemIsPanel, true);
    addToParent(widget, parent);
    widget->setFlag(QGraphicsItem::ItemIsPanel, false);
}

void PaneFocusChainLinker::addToParent(QGraphicsWidget* widget, QGraphicsWidget* parent)
{
    if (auto* pane = qobject_cast<PaneWidget*>(parent))
        pane->addItem(widget);
    else
        widget->setParentItem(parent);
}

void PaneFocusChainLinker::linkInTreeOrder(QGraphicsWidget* root)
{
    linkChildren(root, root);
}

// Links the widgets under widget after previous; returns the last one linked.
QGraphicsWidget* PaneFocusChainLinker::linkChildren(QGraphicsWidget* widget, QGraphicsWidget* previous)
{
    for (QGraphicsItem* item : widget->childItems()) {
        if (!item->isWidget())
            continue;
        auto* child = static_cast<QGraphicsWidget*>(item);
        if (child->isPanel())
            continue;
        QGraphicsWidget::setTabOrder(previous, child);
        previous = linkChildren(child, child);
    }
    return previous;
}
