#pragma once

// An invisible spacer. With a fixed width and/or height it keeps that size in that direction;
// a direction without a fixed size expands to take the room left in a box layout.

#include "panewidget.h"

class PaneSpacerItem : public PaneWidget
{
    Q_OBJECT
public:
    explicit PaneSpacerItem(QGraphicsItem* parent = nullptr);
    PaneSpacerItem(qreal fixWidth, qreal fixHeight, QGraphicsItem* parent = nullptr);

    // A fixed width stops horizontal expansion; a fixed height stops vertical expansion.
    void setSpacerWidth(qreal width);
    void setSpacerHeight(qreal height);
};
