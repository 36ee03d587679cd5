#pragma once

// The dynamic-creation registry: layout elements whose class is not built into the framework
// are created by the factory registered under the element name. UI thread only.

#include <QGraphicsWidget>
#include <QString>
#include <QStringList>

#include <functional>

class PaneDynamicCreator
{
public:
    // Takes the parent item (may be null) and returns a new widget, or null.
    using Factory = std::function<QGraphicsWidget*(QGraphicsItem* parent)>;

    // False (and logged) for an empty name, a null factory, a built-in class name or a name that
    // is already registered.
    static bool registerClass(const QString& className, Factory factory);
    // False when the name was not registered.
    static bool unregisterClass(const QString& className);
    static bool isRegistered(const QString& className);
    static QStringList registeredClasses();
    // Runs the factory inside a CPerfLogProxy scope; null (logged) when the class is unknown or
    // the factory returns null.
    static QGraphicsWidget* create(const QString& className, QGraphicsItem* parent);
};

using PaneWidgetRegistry = PaneDynamicCreator;
