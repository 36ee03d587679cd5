#pragma once

// Base of every panefw widget: a QGraphicsWidget with a box or anchor layout of its children,
// fixed-size helpers and the framework's colorize and drag policies.
//
// Children are added with addItem/insertItem. In a VBox or HBox widget they become items of a
// PaneBoxLayout, made when the first child comes (a widget without children sizes itself like an
// empty box: its margins); in an Anchor widget they are child items placed by their anchor string
// (see setAnchor) or, without one, left where they are put.

#include <QGraphicsWidget>
#include <QMarginsF>
#include <QString>

class PaneBoxLayout;

class PaneWidget : public QGraphicsWidget
{
    Q_OBJECT
public:
    enum LayoutType
    {
        VBox = 0,
        HBox = 1,
        Anchor = 2
    };
    Q_ENUM(LayoutType)

    // Stored for skinning hosts; this framework draws the same either way.
    enum ColorizePolicy
    {
        ColorableFlag = 0,
        UnColorableFlag = 1
    };

    // Whether pressing on the widget (where no child takes the press) drags the frameless window.
    enum DragPolicy
    {
        DragInherit = 0, // as the nearest ancestor that says otherwise; the root drags
        DragWindow = 1,
        NoDragWindow = 2
    };

    explicit PaneWidget(QGraphicsItem* parent = nullptr);
    ~PaneWidget() override;

    // Replaces the current arrangement. Switching between VBox and HBox keeps the items in order
    // and gives them the new box's default alignment; switching to Anchor keeps them as children.
    void setLayout(LayoutType type);
    void setLayout(int type) { setLayout(static_cast<LayoutType>(type)); }
    using QGraphicsWidget::setLayout;
    LayoutType layoutType() const { return m_layoutType; }
    // The box layout of a VBox/HBox widget that has had children, else null (inherited layout()).
    // A box that its owner gave a layout of another kind (QGraphicsWidget::setLayout) has none
    // and takes no items through addItem.
    PaneBoxLayout* boxLayout() const;

    void setFixWidth(qreal width);
    void setFixHeight(qreal height);
    void setFixSize(qreal width, qreal height);
    void setFixSize(const QSizeF& size) { setFixSize(size.width(), size.height()); }

    // Margins around the layout area (left, top, right, bottom).
    void setMargins(const QMarginsF& margins);
    void setMargins(qreal left, qreal top, qreal right, qreal bottom);
    QMarginsF margins() const;
    void setSpacing(qreal spacing);
    qreal spacing() const { return m_spacing; }

    // Adds a child: a QGraphicsWidget becomes a child item and (VBox/HBox) a layout item.
    // Subclasses with their own content (scroll areas, stacked widgets) redirect it.
    virtual void addItem(QGraphicsLayoutItem* item);
    virtual void insertItem(int index, QGraphicsLayoutItem* item);
    // Takes the item out of the layout and hides it; it stays a child and is not deleted.
    virtual void removeItem(QGraphicsLayoutItem* item);
    // Alignment of a child inside this widget's linear layout.
    void setItemAlignment(QGraphicsLayoutItem* item, Qt::Alignment alignment);

    // Anchor of this widget inside an Anchor parent: "Left:8|Right:10|Top:6|Bottom:0". Keys:
    // Left, Right, Top, Bottom (distance from that edge), HCenter, VCenter (offset from the centre),
    // Width, Height; "Left:a-b" and "Right:a-b" (also Top, Bottom) give a span from that edge.
    // Returns false (and changes nothing) for a malformed string.
    bool setAnchor(const QString& anchor);
    QString anchor() const { return m_anchorText; }

    void setColorizePolicy(int policy) { m_colorizePolicy = policy; }
    int colorizePolicy() const { return m_colorizePolicy; }
    void setDragPolicy(int policy) { m_dragPolicy = policy; }
    int dragPolicy() const { return m_dragPolicy; }

    // Runs the layouts of this widget and its descendants now, parents first.
    void activateLayouts();

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF& constraint = QSizeF()) const override;
    void resizeEvent(QGraphicsSceneResizeEvent* event) override;
    void placeAnchoredChildren();

private:
    struct AnchorSpec;
    PaneBoxLayout* ensureBoxLayout();
    QRectF anchoredRect(const PaneWidget* child) const;

    LayoutType m_layoutType = VBox;
    QMarginsF m_margins;
    qreal m_spacing = 0;
    int m_colorizePolicy = ColorableFlag;
    int m_dragPolicy = DragInherit;
    QString m_anchorText;
    AnchorSpec* m_anchor = nullptr;
};
