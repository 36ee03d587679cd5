#include "panescrollwidget.h"

PaneScrollWidget::PaneScrollWidget(QGraphicsItem* parent) : PaneScrollArea(parent)
{
    contentPane();
}
