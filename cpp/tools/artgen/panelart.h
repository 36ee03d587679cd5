#pragma once

#include <QSize>

class QPainter;

// Window backgrounds, cards, panels, the navigation bar and list rows. Window
// backgrounds keep the areas that hold labels and lists light and quiet, and
// put colour only in the header bands.
class PanelArt
{
public:
    enum class Row
    {
        Even,
        Odd,
        Hovered,
        Chosen,
        LineHover
    };

    static void normalWindow(QPainter& p, const QSize& size);
    static void groupWindow(QPainter& p, const QSize& size);
    static void judgeWindow(QPainter& p, const QSize& size);
    // The management and history windows: an accent title bar over a calm body.
    static void managementWindow(QPainter& p, const QSize& size);
    static void groupPanel(QPainter& p, const QSize& size);
    static void judgeCard(QPainter& p, const QSize& size);
    static void scorePanel(QPainter& p, const QSize& size);
    // Nine-piece: corners within the outer four pixels, a uniform middle.
    static void navigationBar(QPainter& p, const QSize& size);
    // Rows are stretched sideways, so every column of a row image is the same.
    static void row(QPainter& p, const QSize& size, Row kind);
};
