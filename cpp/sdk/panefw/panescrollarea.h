#pragma once

// A viewport that scrolls one content widget vertically. The content is as wide as the viewport
// and at least as tall; wheel and a slim scroll bar on the right scroll it. Items added with
// addItem go into the content widget (a VBox PaneWidget created on first use).

#include "panewidget.h"

#include <QPointer>

class PaneScrollArea : public PaneWidget
{
    Q_OBJECT
public:
    explicit PaneScrollArea(QGraphicsItem* parent = nullptr);
    ~PaneScrollArea() override;

    // The area takes ownership; a content widget the area created itself is deleted when replaced.
    void setContentWidget(QGraphicsWidget* content);
    QGraphicsWidget* contentWidget() const { return m_content; }
    // The content as a PaneWidget, creating the default content when there is none.
    PaneWidget* contentPane();

    void addItem(QGraphicsLayoutItem* item) override;
    void insertItem(int index, QGraphicsLayoutItem* item) override;
    void removeItem(QGraphicsLayoutItem* item) override;

    void setScrollBarPolicy(int policy); // Qt::ScrollBarPolicy: 0 as needed, 1 off, 2 on
    void setVerticalScrollBarPolicy(Qt::ScrollBarPolicy policy) { setScrollBarPolicy(policy); }
    int scrollBarPolicy() const { return m_policy; }
    void setSingleStep(qreal step) { m_singleStep = qMax<qreal>(0, step); }
    qreal singleStep() const { return m_singleStep; }

    int scrollPos() const { return m_pos; }
    int maximumScrollPos() const;
    // Clamped to 0..maximumScrollPos(); emits scrollPosChanged when it moves.
    void setScrollPos(int pos);
    void ensureVisible(const QRectF& contentRect);
    // Scrolls the least that shows all of `items` (inside this area's content), or the first of them
    // when they do not fit together. Pending layout changes are applied first, so items just added
    // are measured where they will be shown.
    void ensureItemsVisible(const QList<const QGraphicsItem*>& items);
    // The nearest scroll area that `item` is shown in, or null.
    static PaneScrollArea* enclosing(const QGraphicsItem* item);
    bool isScrollBarShown() const;
    QRectF scrollBarRect() const;

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

signals:
    void scrollPosChanged(int pos);

protected:
    void resizeEvent(QGraphicsSceneResizeEvent* event) override;
    bool event(QEvent* event) override;
    void wheelEvent(QGraphicsSceneWheelEvent* event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;
    void hoverEnterEvent(QGraphicsSceneHoverEvent* event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent* event) override;
    // Sizes the content to the viewport width and at least the viewport height.
    virtual void fitContent();

private:
    QRectF thumbRect() const;
    qreal contentHeight() const;
    void placeContent();

    QPointer<QGraphicsWidget> m_content;
    bool m_ownsDefaultContent = false;
    int m_policy = Qt::ScrollBarAsNeeded;
    qreal m_singleStep = 20;
    int m_pos = 0;
    bool m_hovered = false;
    bool m_draggingThumb = false;
    qreal m_dragStartY = 0;
    int m_dragStartPos = 0;
};
