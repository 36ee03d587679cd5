#include "host/automation/syntheticmouse.h"

#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QGraphicsObject>
#include <QGraphicsView>
#include <QMouseEvent>
#include <QWidget>

#include "panescrollarea.h"

namespace {

struct Aim
{
    QWidget* receiver = nullptr;
    QPoint position;
};

// A check box or radio button reacts only on its indicator and label, which a stretched
// button does not centre.
QPoint hotSpot(QWidget* widget)
{
    auto* button = qobject_cast<QAbstractButton*>(widget);
    if (qobject_cast<QCheckBox*>(widget) == nullptr && qobject_cast<QRadioButton*>(widget) == nullptr)
        return widget->rect().center();
    QStyleOptionButton option;
    option.initFrom(button);
    const QStyle::SubElement indicator =
        qobject_cast<QCheckBox*>(widget) ? QStyle::SE_CheckBoxIndicator : QStyle::SE_RadioButtonIndicator;
    return widget->style()->subElementRect(indicator, &option, widget).center();
}

// A person scrolls an item into view before pointing at it: a scroll area clips what lies outside
// its viewport, so a press at the item's hidden centre would land on whatever is drawn there.
void scrollIntoView(QGraphicsObject* item)
{
    for (QGraphicsItem* parent = item->parentItem(); parent != nullptr; parent = parent->parentItem()) {
        auto* area = qobject_cast<PaneScrollArea*>(parent->toGraphicsObject());
        if (area != nullptr && area->contentWidget() != nullptr)
            area->ensureVisible(item->mapRectToItem(area->contentWidget(), item->boundingRect()));
    }
}

bool aim(const LocatedWidget& target, Aim& out, QString* error)
{
    if (target.widget) {
        out.receiver = target.widget;
        out.position = hotSpot(target.widget);
        return true;
    }
    if (target.item && target.view) {
        scrollIntoView(target.item);
        const QPointF scenePos = target.item->mapToScene(target.item->boundingRect().center());
        out.receiver = target.view->viewport();
        out.position = target.view->mapFromScene(scenePos);
        return true;
    }
    if (error)
        *error = QStringLiteral("widget is gone or not shown in a view");
    return false;
}

void send(const Aim& aim, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    const QPointF local(aim.position);
    const QPointF global(aim.receiver->mapToGlobal(aim.position));
    QMouseEvent event(type, local, local, global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(aim.receiver, &event);
}

void moveOnto(const Aim& aim)
{
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(aim.receiver, &enter);
    send(aim, QEvent::MouseMove, Qt::NoButton, Qt::NoButton);
}

} // namespace

bool SyntheticMouse::click(const LocatedWidget& target, QString* error)
{
    Aim where;
    if (!aim(target, where, error))
        return false;
    const QPointer<QWidget> receiver = where.receiver;
    moveOnto(where);
    if (receiver)
        send(where, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    if (receiver)
        send(where, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    return true;
}

bool SyntheticMouse::hover(const LocatedWidget& target, QString* error)
{
    Aim where;
    if (!aim(target, where, error))
        return false;
    moveOnto(where);
    return true;
}
