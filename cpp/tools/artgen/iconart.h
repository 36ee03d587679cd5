#pragma once

#include "tools/artgen/buttonart.h"

#include <QSize>

class QPainter;

// Icons, glyph buttons, badges and medallions: the small images of the set.
class IconArt
{
public:
    enum class Rank
    {
        First,
        Second,
        Other
    };

    static void addonIcon(QPainter& p, const QSize& size);
    static void windowIcon(QPainter& p, const QSize& size);
    static void minimise(QPainter& p, const QSize& size);
    static void close(QPainter& p, const QSize& size, ButtonArt::State state);
    static void remove(QPainter& p, const QSize& size, ButtonArt::State state);
    static void clock(QPainter& p, const QSize& size);
    static void check(QPainter& p, const QSize& size, bool checked);
    static void rank(QPainter& p, const QSize& size, Rank rank);
    // Frame 1..5 of the rising, fading "+1".
    static void plusOne(QPainter& p, const QSize& size, int frame);
    static void scoreFace(QPainter& p, const QSize& size, int score);
    static void medallion(QPainter& p, const QSize& size, int points);
};
