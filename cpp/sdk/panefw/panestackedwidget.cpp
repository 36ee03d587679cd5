#include "panestackedwidget.h"

#include <QGraphicsSceneResizeEvent>

PaneStackedWidget::PaneStackedWidget(QGraphicsItem* parent) : PaneWidget(parent)
{
    setLayout(Anchor);
}

PaneStackedWidget::~PaneStackedWidget()
{
    // The pages are deleted after this object's members; they must not call back into it.
    for (const auto& page : qAsConst(m_pages)) {
        if (page)
            disconnect(page, nullptr, this, nullptr);
    }
}

void PaneStackedWidget::addItem(QGraphicsLayoutItem* item)
{
    insertItem(-1, item);
}

void PaneStackedWidget::insertItem(int index, QGraphicsLayoutItem* item)
{
    prunePages();
    if (item == nullptr || item->isLayout() || item->graphicsItem() == nullptr)
        return;
    auto* page = static_cast<QGraphicsWidget*>(item->graphicsItem());
    if (indexOf(page) >= 0)
        return;
    page->setParentItem(this);
    page->setGeometry(rect());
    if (index < 0 || index > m_pages.size())
        index = m_pages.size();
    m_pages.insert(index, page);
    // A page deleted by its owner leaves the stack at once, and the next page shows.
    connect(page, &QObject::destroyed, this, [this] {
        prunePages();
        showCurrent();
    });
    if (m_current < 0)
        m_current = 0;
    else if (index <= m_current)
        ++m_current;
    showCurrent();
}

void PaneStackedWidget::removeItem(QGraphicsLayoutItem* item)
{
    prunePages();
    if (item == nullptr || item->graphicsItem() == nullptr)
        return;
    const int index = indexOf(static_cast<QGraphicsWidget*>(item->graphicsItem()));
    if (index < 0)
        return;
    m_pages.at(index)->hide();
    disconnect(m_pages.at(index), &QObject::destroyed, this, nullptr);
    m_pages.removeAt(index);
    if (index < m_current || m_current >= m_pages.size())
        m_current = m_pages.isEmpty() ? -1 : qMax(0, m_current - 1);
    showCurrent();
}

QGraphicsWidget* PaneStackedWidget::currentWidget() const
{
    return widget(m_current);
}

QGraphicsWidget* PaneStackedWidget::widget(int index) const
{
    return (index >= 0 && index < m_pages.size()) ? m_pages.at(index).data() : nullptr;
}

int PaneStackedWidget::indexOf(QGraphicsWidget* page) const
{
    for (int i = 0; i < m_pages.size(); ++i) {
        if (m_pages.at(i) == page)
            return i;
    }
    return -1;
}

void PaneStackedWidget::setCurrentIndex(int index)
{
    prunePages();
    if (index < 0 || index >= m_pages.size() || index == m_current)
        return;
    m_current = index;
    showCurrent();
    emit currentChanged(index);
}

void PaneStackedWidget::resizeEvent(QGraphicsSceneResizeEvent* event)
{
    PaneWidget::resizeEvent(event);
    for (const auto& page : qAsConst(m_pages)) {
        if (page)
            page->setGeometry(rect());
    }
}

// Pages deleted by their owners drop out of the stack.
void PaneStackedWidget::prunePages()
{
    const QGraphicsWidget* current = currentWidget();
    m_pages.removeAll(QPointer<QGraphicsWidget>());
    const int index = current != nullptr ? indexOf(const_cast<QGraphicsWidget*>(current)) : -1;
    m_current = index >= 0 ? index : (m_pages.isEmpty() ? -1 : qMin(qMax(m_current, 0), m_pages.size() - 1));
}

void PaneStackedWidget::showCurrent()
{
    for (int i = 0; i < m_pages.size(); ++i)
        m_pages.at(i)->setVisible(i == m_current);
}
