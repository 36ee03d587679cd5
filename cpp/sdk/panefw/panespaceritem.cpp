#include "panespaceritem.h"

PaneSpacerItem::PaneSpacerItem(QGraphicsItem* parent) : PaneWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setPreferredSize(0, 0);
    setMinimumSize(0, 0);
    setFlag(ItemHasNoContents, true);
}

PaneSpacerItem::PaneSpacerItem(qreal fixWidth, qreal fixHeight, QGraphicsItem* parent)
    : PaneSpacerItem(parent)
{
    if (fixWidth >= 0)
        setSpacerWidth(fixWidth);
    if (fixHeight >= 0)
        setSpacerHeight(fixHeight);
}

void PaneSpacerItem::setSpacerWidth(qreal width)
{
    setFixWidth(width);
}

void PaneSpacerItem::setSpacerHeight(qreal height)
{
    setFixHeight(height);
}
