#pragma once

// Finds windows by title and widgets by object-name paths for automation. A path is names
// joined by "/"; each name is searched breadth first under the match of the previous one, and
// "name[i]" takes the i-th match (from 0) in that order. The search walks plain widgets and,
// inside a graphics view, the items of its scene, so windows of both kinds are reachable.

#include <QPointer>
#include <QString>

class QGraphicsObject;
class QGraphicsView;
class QObject;
class QWidget;

struct LocatedWidget
{
    QPointer<QWidget> widget;       // set for a plain widget
    QPointer<QGraphicsObject> item; // set for a scene item
    QPointer<QGraphicsView> view;   // the view showing `item`
    QObject* object() const;
    bool isValid() const { return object() != nullptr; }
};

class WidgetLocator
{
public:
    // The top-level window with this title (a visible one preferred), else with this object name.
    static QWidget* findWindow(const QString& titleOrName);
    static LocatedWidget find(QWidget* window, const QString& path, QString* error = nullptr);

private:
    struct Segment
    {
        QString name;
        int index = 0;
    };
    static bool parseSegment(const QString& text, Segment& segment);
    static QString missingWidgetText(const QWidget* window, const QString& segment, const QString& path);
};
