#include "panefind.h"

namespace panefw {

QList<QGraphicsObject*> descendantsBreadthFirst(QGraphicsItem* root)
{
    QList<QGraphicsObject*> found;
    if (root == nullptr)
        return found;
    QQueue<QGraphicsItem*> pending;
    pending.enqueue(root);
    while (!pending.isEmpty()) {
        QGraphicsItem* item = pending.dequeue();
        if (QGraphicsObject* object = item->toGraphicsObject())
            found.append(object);
        for (QGraphicsItem* child : item->childItems())
            pending.enqueue(child);
    }
    return found;
}

QGraphicsObject* findChildByClass(QGraphicsItem* root, const char* className, const QString& name)
{
    if (className == nullptr)
        return nullptr;
    for (QGraphicsObject* object : descendantsBreadthFirst(root)) {
        if (!name.isEmpty() && object->objectName() != name)
            continue;
        if (object->inherits(className))
            return object;
    }
    return nullptr;
}

QGraphicsObject* findChildByClass(PaneFrameWindow* window, const char* className, const QString& name)
{
    return window != nullptr ? findChildByClass(window->rootWidget(), className, name) : nullptr;
}

} // namespace panefw
