#pragma once

// A row (HBox) or column (VBox) of layout items that grows at constant cost per appended item.
//
// It places each item in the next cell of a one-line grid, so the sizes and positions are those of
// a linear layout (the same distribution of room, spacing and margins), while appending does not
// renumber the items already there. Items in a row sit in its vertical middle unless given an
// alignment of their own; items in a column start at its left and top. An alignment given to one
// item replaces that default: a missing direction means left or top.

#include <QGraphicsGridLayout>
#include <QHash>

class PaneBoxLayout : public QGraphicsGridLayout
{
public:
    explicit PaneBoxLayout(Qt::Orientation orientation, QGraphicsLayoutItem* parent = nullptr);
    ~PaneBoxLayout() override;

    Qt::Orientation orientation() const { return m_orientation; }
    // Lays the items out in the other direction, in the same order, with default alignments.
    void setOrientation(Qt::Orientation orientation);

    void appendItem(QGraphicsLayoutItem* item);
    // Puts the item at that position (appends when the index is out of range). Not at the end it
    // places every item again, so it costs as much as rebuilding the box. Items keep the
    // alignments given to them.
    void insertItemAt(int index, QGraphicsLayoutItem* item);
    // Takes the item out; the others keep their places and the gap takes no room.
    void removeLayoutItem(QGraphicsLayoutItem* item);
    void setItemAlignment(QGraphicsLayoutItem* item, Qt::Alignment alignment);

private:
    void applyDefaultAlignment();
    void clearLineAlignments();
    void removeAllItems();
    void reserveCells(int cells);
    void placeAll(const QList<QGraphicsLayoutItem*>& items);
    QList<QGraphicsLayoutItem*> itemsInOrder() const;

    static constexpr int kFirstReserve = 16;

    Qt::Orientation m_orientation;
    // Alignments given with setItemAlignment, reapplied when the items are placed again.
    QHash<const QGraphicsLayoutItem*, Qt::Alignment> m_ownAlignments;
    int m_nextCell = 0;
    int m_reservedCells = 0;
};
