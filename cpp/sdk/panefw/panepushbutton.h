#pragma once

// A push button drawn from up to five state images (normal, hover, pressed, disabled, checked)
// with an optional text centred on the image. Style TextOnly draws just the text, as a link.

#include "paneframeitem.h"

#include <QColor>
#include <QFont>

class PanePushButton : public PaneFrameItem
{
    Q_OBJECT
public:
    enum ButtonStyle
    {
        ImageWithText = 0,
        ImageOnly = 1,
        TextOnly = 4
    };

    explicit PanePushButton(QGraphicsItem* parent = nullptr);

    // "normal|hover|pressed|disabled|checked"; empty entries fall back to the normal image.
    void setImagePath(const QString& paths);
    void setImage(const QString& normal, const QString& hover = QString(), const QString& pressed = QString(),
                  const QString& disabled = QString(), const QString& checked = QString());

    void setText(const QString& text);
    QString text() const { return m_text; }
    void setTextColor(const QColor& color);
    QColor textColor() const { return m_textColor; }
    void setFont(const QFont& font);
    QFont font() const { return m_font; }
    void setButtonStyle(int style);
    int buttonStyle() const { return m_style; }

    void setCheckable(bool checkable) { m_checkable = checkable; }
    bool isCheckable() const { return m_checkable; }
    void setChecked(bool checked);
    bool isChecked() const { return m_checked; }
    bool isDown() const { return m_down; }

    // Acts like a user click: emits clicked() when enabled.
    void click();

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

signals:
    void clicked();
    void hoverEnter(const QPointF& pos);
    void hoverLeave();
    void pressed();
    void released();

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF& constraint = QSizeF()) const override;
    int currentImageIndex() const override;
    void hoverEnterEvent(QGraphicsSceneHoverEvent* event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent* event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void paintText(QPainter* painter) const;

    QString m_text;
    QColor m_textColor;
    QFont m_font;
    int m_style = ImageWithText;
    bool m_checkable = false;
    bool m_checked = false;
    bool m_down = false;
};
