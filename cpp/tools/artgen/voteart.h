#pragma once

#include <QSize>

class QPainter;

// The pieces that show a running vote: banner, progress bars, the versus band,
// team emblems and the chosen-score highlight.
class VoteArt
{
public:
    enum class Team
    {
        A,
        B
    };

    static void banner(QPainter& p, const QSize& size);
    // Progress bars are drawn twice, as empty track and as full fill; the bar
    // clips the fill to its value. Both carry a dark capsule at the right end
    // behind the light count label.
    static void optionTrack(QPainter& p, const QSize& size, qreal capsuleWidth, qreal drop = 0);
    static void optionFill(QPainter& p, const QSize& size, qreal capsuleWidth, qreal drop = 0);
    static void versusBand(QPainter& p, const QSize& size);
    static void emblem(QPainter& p, const QSize& size, Team team);
    static void scoreHighlight(QPainter& p, const QSize& size);

private:
    static void bannerArt(QPainter& p, const QSize& size);
};
