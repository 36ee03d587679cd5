#pragma once

#include "tools/artgen/artkit.h"

#include <QSize>
#include <QString>

class QPainter;

// Push buttons of the set. Every state of one button keeps the same outline so
// the widget does not appear to jump; the states differ in light, depth and colour.
class ButtonArt
{
public:
    enum class State
    {
        Normal,
        Hover,
        Pressed,
        Disabled
    };
    enum class Tile
    {
        Normal,
        Group,
        Judge
    };

    // A filled button with centred words; `onColour` is the colour of the words.
    static void filled(QPainter& p, const QSize& size, const ArtKit::Ramp& ramp, const QString& words,
                       const QColor& onColour, State state);
    // A text-only button for the navigation bar, with a leading chevron.
    static void ghost(QPainter& p, const QSize& size, const QString& words, State state);
    // A large square start-page button with a glyph above its words.
    static void tile(QPainter& p, const QSize& size, Tile kind, State state);
};
