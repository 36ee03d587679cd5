#pragma once

// A scroll area whose content is always a vertical PaneWidget made by the area itself; layout
// files put the scrolled widgets directly inside it.

#include "panescrollarea.h"

class PaneScrollWidget : public PaneScrollArea
{
    Q_OBJECT
public:
    explicit PaneScrollWidget(QGraphicsItem* parent = nullptr);
};
