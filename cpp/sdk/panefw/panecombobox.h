#pragma once

// A drop-down list. A click opens a pop-up menu of the items; picking one makes it current and
// emits currentIndexChanged. Programmatic setCurrentIndex does not emit it, so code that sets
// the index while it holds its own state is not re-entered. An editable box shows a PaneLineEdit
// for free input; its text follows the current item.

#include "panewidget.h"

#include <QList>
#include <QPointer>
#include <QVariantMap>

class PaneLineEdit;
#include <QMenu>

class PaneComboBox : public PaneWidget
{
    Q_OBJECT
public:
    explicit PaneComboBox(QGraphicsItem* parent = nullptr);
    ~PaneComboBox() override;

    // Each map is one item; its "text" is shown. The current index becomes 0 (or -1 when empty).
    void setData(const QList<QVariantMap>& items);
    QList<QVariantMap> data() const { return m_items; }
    using PaneWidget::data;
    void addItem(const QString& text);
    using PaneWidget::addItem;
    int count() const { return m_items.size(); }
    QString itemText(int index) const;

    int currentIndex() const { return m_current; }
    // Out-of-range indices are ignored. Does not emit currentIndexChanged.
    void setCurrentIndex(int index);
    // The edit's text for an editable box, else the current item's text.
    QString currentText() const;

    void setEditable(bool editable);
    bool isEditable() const { return m_edit != nullptr; }
    // The edit of an editable box, or null.
    PaneLineEdit* lineEdit() const { return m_edit; }

    void setTextColor(const QColor& color);
    void setFont(const QFont& font);
    QFont font() const { return m_font; }

    // Opens the item list under the box; the pop-up is returned for inspection (null when empty).
    QMenu* showPopup();
    QMenu* popup() const { return m_popup; }
    void hidePopup();

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

signals:
    // User picks only.
    void currentIndexChanged(int index);

protected:
    void resizeEvent(QGraphicsSceneResizeEvent* event) override;
    void hoverEnterEvent(QGraphicsSceneHoverEvent* event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent* event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;

private:
    void pick(int index);
    QRectF arrowRect() const;

    QList<QVariantMap> m_items;
    int m_current = -1;
    PaneLineEdit* m_edit = nullptr;
    QPointer<QMenu> m_popup;
    QColor m_textColor;
    QFont m_font;
    bool m_hovered = false;
};
