#include "host/automation/widgetlocator.h"

#include <QApplication>
#include <QGraphicsObject>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QQueue>
#include <QRegularExpression>
#include <QWidget>

namespace {

// Object children of a scene item; plain items in between are looked through.
void appendItemChildren(QGraphicsItem* item, QList<QObject*>& out)
{
    for (QGraphicsItem* child : item->childItems()) {
        if (QGraphicsObject* object = child->toGraphicsObject())
            out << object;
        else
            appendItemChildren(child, out);
    }
}

QList<QObject*> childrenOf(QObject* node)
{
    QList<QObject*> out;
    if (auto* object = qobject_cast<QGraphicsObject*>(node)) {
        appendItemChildren(object, out);
        return out;
    }
    for (QObject* child : node->children()) {
        if (child->isWidgetType() && !static_cast<QWidget*>(child)->isWindow())
            out << child;
    }
    if (auto* view = qobject_cast<QGraphicsView*>(node); view && view->scene()) {
        for (QGraphicsItem* item : view->scene()->items(Qt::AscendingOrder)) {
            if (item->parentItem() != nullptr)
                continue;
            if (QGraphicsObject* object = item->toGraphicsObject())
                out << object;
            else
                appendItemChildren(item, out);
        }
    }
    return out;
}

// The view that shows an item found under `node`, remembered while walking down.
QGraphicsView* viewFor(QObject* node, QGraphicsView* current)
{
    if (auto* view = qobject_cast<QGraphicsView*>(node))
        return view;
    return current;
}

} // namespace

QObject* LocatedWidget::object() const
{
    if (widget)
        return widget.data();
    return item.data();
}

QWidget* WidgetLocator::findWindow(const QString& titleOrName)
{
    QWidget* byTitle = nullptr;
    QWidget* byName = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isWindow())
            continue;
        if (window->windowTitle() == titleOrName &&
            (byTitle == nullptr || (!byTitle->isVisible() && window->isVisible())))
            byTitle = window;
        if (window->objectName() == titleOrName && byName == nullptr)
            byName = window;
    }
    return byTitle != nullptr ? byTitle : byName;
}

bool WidgetLocator::parseSegment(const QString& text, Segment& segment)
{
    static const QRegularExpression pattern(QStringLiteral("^([^\\[\\]/]+)(?:\\[(\\d{1,6})\\])?$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    segment.name = match.captured(1);
    segment.index = match.captured(2).isEmpty() ? 0 : match.captured(2).toInt();
    return true;
}

// Names the window as a person would look for it: by its title, else its object name.
QString WidgetLocator::missingWidgetText(const QWidget* window, const QString& segment, const QString& path)
{
    const QString windowName = window->windowTitle().isEmpty() ? window->objectName() : window->windowTitle();
    if (segment == path)
        return QStringLiteral("no widget '%1' in window '%2'").arg(segment, windowName);
    return QStringLiteral("no widget '%1' of '%2' in window '%3'").arg(segment, path, windowName);
}

LocatedWidget WidgetLocator::find(QWidget* window, const QString& path, QString* error)
{
    auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return LocatedWidget{};
    };
    if (window == nullptr)
        return fail(QStringLiteral("no such window"));
    const QStringList parts = path.split('/');
    QObject* node = window;
    QGraphicsView* view = qobject_cast<QGraphicsView*>(window);
    for (const QString& part : parts) {
        Segment segment;
        if (!parseSegment(part, segment))
            return fail(QStringLiteral("bad widget path segment '%1'").arg(part));
        QQueue<QPair<QObject*, QGraphicsView*>> queue;
        for (QObject* child : childrenOf(node))
            queue.enqueue({child, viewFor(node, view)});
        int seen = 0;
        QObject* found = nullptr;
        while (!queue.isEmpty() && found == nullptr) {
            const auto [candidate, candidateView] = queue.dequeue();
            if (candidate->objectName() == segment.name && seen++ == segment.index) {
                found = candidate;
                view = viewFor(candidate, candidateView);
                break;
            }
            for (QObject* child : childrenOf(candidate))
                queue.enqueue({child, viewFor(candidate, candidateView)});
        }
        if (found == nullptr)
            return fail(missingWidgetText(window, part, path));
        node = found;
    }
    LocatedWidget located;
    if (auto* item = qobject_cast<QGraphicsObject*>(node)) {
        located.item = item;
        located.view = view;
    } else {
        located.widget = static_cast<QWidget*>(node);
    }
    return located;
}
