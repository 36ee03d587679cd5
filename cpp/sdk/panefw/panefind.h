#pragma once

// Widget lookup by object name and class, breadth first from the root, so the match nearest
// the root wins (ties: earlier siblings first). The root itself is included.

#include "paneframewindow.h"
#include "panewidget.h"

#include <QGraphicsItem>
#include <QGraphicsObject>
#include <QList>
#include <QQueue>
#include <QString>

namespace panefw {

// Every item under root (root first), breadth first.
QList<QGraphicsObject*> descendantsBreadthFirst(QGraphicsItem* root);

// The first widget, breadth first, whose class (or a base class) is className and, when name
// is not empty, whose object name is name.
QGraphicsObject* findChildByClass(QGraphicsItem* root, const char* className,
                                  const QString& name = QString());
QGraphicsObject* findChildByClass(PaneFrameWindow* window, const char* className,
                                  const QString& name = QString());

template <class T> T* findChild(QGraphicsItem* root, const QString& name)
{
    for (QGraphicsObject* object : descendantsBreadthFirst(root)) {
        if (object->objectName() != name)
            continue;
        if (T* match = qobject_cast<T*>(object))
            return match;
    }
    return nullptr;
}

template <class T> T* findChild(PaneFrameWindow* window, const QString& name)
{
    return window != nullptr ? findChild<T>(window->rootWidget(), name) : nullptr;
}

// All matches, breadth first; an empty name matches every object of the class.
template <class T> QList<T*> findChildren(QGraphicsItem* root, const QString& name = QString())
{
    QList<T*> found;
    for (QGraphicsObject* object : descendantsBreadthFirst(root)) {
        if (!name.isEmpty() && object->objectName() != name)
            continue;
        if (T* match = qobject_cast<T*>(object))
            found.append(match);
    }
    return found;
}

template <class T> QList<T*> findChildren(PaneFrameWindow* window, const QString& name = QString())
{
    return window != nullptr ? findChildren<T>(window->rootWidget(), name) : QList<T*>();
}

} // namespace panefw
