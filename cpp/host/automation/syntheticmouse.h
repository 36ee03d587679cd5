#pragma once

// Drives widgets with the mouse events a person's hand would produce, delivered straight to the
// widget (or to the viewport of the graphics view showing an item), so the widget's own signals
// fire and receivers see the real sender.

#include "host/automation/widgetlocator.h"

class SyntheticMouse
{
public:
    // Moves onto the widget's centre, then presses and releases the left button there.
    static bool click(const LocatedWidget& target, QString* error = nullptr);
    // Moves onto the widget's centre without pressing.
    static bool hover(const LocatedWidget& target, QString* error = nullptr);
};
