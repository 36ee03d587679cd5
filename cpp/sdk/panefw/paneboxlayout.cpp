#include "paneboxlayout.h"

PaneBoxLayout::PaneBoxLayout(Qt::Orientation orientation, QGraphicsLayoutItem* parent)
    : QGraphicsGridLayout(parent), m_orientation(orientation)
{
    applyDefaultAlignment();
}

PaneBoxLayout::~PaneBoxLayout()
{
    removeAllItems();
}

// From the first: taking out an item on the last line along the box makes the grid recount its lines.
void PaneBoxLayout::removeAllItems()
{
    while (count() > 0)
        removeAt(0);
}

// A row centres its items vertically; a column keeps the grid's own default (left, top).
//
// The grid also gets a second, empty line across the box (it takes no room): the grid recounts its
// lines, going over every item, whenever an item on its last line is taken out, and with one line
// across that would be every item, making taking N items out (as deleting the box does) cost N².
void PaneBoxLayout::applyDefaultAlignment()
{
    if (m_orientation == Qt::Horizontal) {
        setRowAlignment(0, Qt::AlignVCenter);
        setRowAlignment(1, Qt::AlignTop);
    } else {
        setColumnAlignment(1, Qt::AlignLeft);
    }
}

void PaneBoxLayout::clearLineAlignments()
{
    for (int line = 0; line < 2; ++line) {
        if (line < rowCount())
            setRowAlignment(line, Qt::Alignment());
        if (line < columnCount())
            setColumnAlignment(line, Qt::Alignment());
    }
}

void PaneBoxLayout::setOrientation(Qt::Orientation orientation)
{
    if (orientation == m_orientation)
        return;
    const QList<QGraphicsLayoutItem*> items = itemsInOrder();
    m_orientation = orientation;
    m_ownAlignments.clear();
    placeAll(items);
}

void PaneBoxLayout::appendItem(QGraphicsLayoutItem* item)
{
    const int cell = m_nextCell++;
    reserveCells(m_nextCell);
    if (m_orientation == Qt::Horizontal)
        addItem(item, 0, cell);
    else
        addItem(item, cell, 0);
}

// Grows the grid along the box by doubling: growing the number of columns moves every cell of the
// lines below the first, so a row grown one column at a time would cost N² to fill.
void PaneBoxLayout::reserveCells(int cells)
{
    if (cells <= m_reservedCells)
        return;
    m_reservedCells = qMax(2 * m_reservedCells, qMax(cells, kFirstReserve));
    if (m_orientation == Qt::Horizontal)
        setColumnAlignment(m_reservedCells - 1, Qt::Alignment());
    else
        setRowAlignment(m_reservedCells - 1, Qt::Alignment());
}

void PaneBoxLayout::insertItemAt(int index, QGraphicsLayoutItem* item)
{
    if (index < 0 || index >= count()) {
        appendItem(item);
        return;
    }
    QList<QGraphicsLayoutItem*> items = itemsInOrder();
    items.insert(index, item);
    placeAll(items);
}

void PaneBoxLayout::removeLayoutItem(QGraphicsLayoutItem* item)
{
    for (int i = count() - 1; i >= 0; --i) {
        if (itemAt(i) == item) {
            removeAt(i);
            m_ownAlignments.remove(item);
            break;
        }
    }
    // A gap takes no room but stays a line of the grid: once gaps outnumber the items (a list
    // emptied and filled again and again), the items are packed from the first cell again.
    if (m_nextCell > 2 * count() + kFirstReserve)
        placeAll(itemsInOrder());
}

void PaneBoxLayout::setItemAlignment(QGraphicsLayoutItem* item, Qt::Alignment alignment)
{
    // The row's vertical centring must not leak into an item that chose its own alignment.
    if (!(alignment & Qt::AlignVertical_Mask))
        alignment |= Qt::AlignTop;
    if (!(alignment & Qt::AlignHorizontal_Mask))
        alignment |= Qt::AlignLeft;
    m_ownAlignments.insert(item, alignment);
    setAlignment(item, alignment);
}

// The items by cell, first to last (a grid lists them in the order they were added).
QList<QGraphicsLayoutItem*> PaneBoxLayout::itemsInOrder() const
{
    QList<QGraphicsLayoutItem*> items;
    items.reserve(count());
    for (int i = 0; i < count(); ++i)
        items.append(itemAt(i));
    return items;
}

// Empties the grid and appends the items again from the first cell, with their own alignments.
void PaneBoxLayout::placeAll(const QList<QGraphicsLayoutItem*>& items)
{
    removeAllItems();
    clearLineAlignments();
    applyDefaultAlignment();
    m_nextCell = 0;
    m_reservedCells = 0;
    for (QGraphicsLayoutItem* item : items) {
        appendItem(item);
        const auto own = m_ownAlignments.constFind(item);
        if (own != m_ownAlignments.constEnd())
            setAlignment(item, *own);
    }
}
