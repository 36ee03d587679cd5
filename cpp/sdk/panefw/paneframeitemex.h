#pragma once

// A frame item that can take hover and presses: emits entered()/leaved() while hover is
// accepted, and pressed()/released()/clicked() for the left button.

#include "paneframeitem.h"

class PaneFrameItemEx : public PaneFrameItem
{
    Q_OBJECT
public:
    explicit PaneFrameItemEx(QGraphicsItem* parent = nullptr);

    void setAcceptHover(bool accept) { setAcceptHoverEvents(accept); }
    bool acceptHover() const { return acceptHoverEvents(); }
    // When false (the default) presses fall through to the window (drag) and no press signals fire.
    void setAcceptClick(bool accept) { m_acceptClick = accept; }
    bool acceptClick() const { return m_acceptClick; }

signals:
    void entered();
    void leaved();
    void pressed();
    void released();
    void clicked();

protected:
    void hoverEnterEvent(QGraphicsSceneHoverEvent* event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent* event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;

private:
    bool m_acceptClick = false;
};
