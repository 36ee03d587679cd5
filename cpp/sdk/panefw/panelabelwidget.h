#pragma once

// A single-line text label. Texts that do not fit are elided at the end. A click-accepting label
// emits clicked() on a left press and release inside it; with underline-on-hover it reads as a link.

#include "panewidget.h"

#include <QColor>
#include <QFont>

class PaneLabelWidget : public PaneWidget
{
    Q_OBJECT
public:
    explicit PaneLabelWidget(QGraphicsItem* parent = nullptr);
    explicit PaneLabelWidget(const QString& text, QGraphicsItem* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return m_text; }
    // Shown greyed while the text is empty.
    void setPlaceholderText(const QString& text);
    QString placeholderText() const { return m_placeholder; }

    void setTextColor(const QColor& color);
    QColor textColor() const { return m_color; }
    void setFont(const QFont& font);
    QFont font() const { return m_font; }
    void setFontSize(int pixelSize);
    void setBold(bool bold);
    void setAlignment(Qt::Alignment alignment);
    Qt::Alignment alignment() const { return m_alignment; }

    void setAcceptClick(bool accept);
    bool acceptClick() const { return m_acceptClick; }
    void setUnderlineOnHover(bool underline);
    bool underlineOnHover() const { return m_underlineOnHover; }
    bool isHovered() const { return m_hovered; }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

signals:
    void clicked();

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF& constraint = QSizeF()) const override;
    void hoverEnterEvent(QGraphicsSceneHoverEvent* event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent* event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;

private:
    void updateInteraction();
    QFont drawnFont() const;

    QString m_text;
    QString m_placeholder;
    QColor m_color;
    QFont m_font;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool m_acceptClick = false;
    bool m_underlineOnHover = false;
    bool m_hovered = false;
    bool m_pressed = false;
};
