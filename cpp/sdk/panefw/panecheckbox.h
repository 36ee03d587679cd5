#pragma once

// A check box: an indicator image on the left (eight state images) and an optional text.
// stateSelected(bool) fires only for user clicks, never for setCheckState.

#include "panewidget.h"

#include <QColor>
#include <QFont>
#include <QStringList>

class PaneCheckBox : public PaneWidget
{
    Q_OBJECT
public:
    // Image order: unchecked normal, hover, pressed, disabled, then checked normal, hover,
    // pressed, disabled. Empty entries fall back to the normal image of the same check state.
    enum ImageIndex
    {
        UncheckedNormal = 0,
        UncheckedHover,
        UncheckedPressed,
        UncheckedDisabled,
        CheckedNormal,
        CheckedHover,
        CheckedPressed,
        CheckedDisabled,
        ImageCount
    };

    explicit PaneCheckBox(QGraphicsItem* parent = nullptr);

    void setImagePath(const QString& paths);
    QString imagePath() const { return m_images.join(QLatin1Char('|')); }

    void setText(const QString& text);
    QString text() const { return m_text; }
    void setTextColor(const QColor& color);
    void setFont(const QFont& font);
    QFont font() const { return m_font; }

    void setCheckState(Qt::CheckState state);
    Qt::CheckState checkState() const { return m_state; }
    bool isChecked() const { return m_state != Qt::Unchecked; }

    // Acts like a user click: toggles and emits stateSelected when enabled.
    void click();

    // The state image the box draws now (for tests and tooltips).
    int currentImageIndex() const;

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

signals:
    void stateSelected(bool checked);

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF& constraint = QSizeF()) const override;
    void hoverEnterEvent(QGraphicsSceneHoverEvent* event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent* event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;

private:
    void paintIndicator(QPainter* painter, const QRectF& box) const;

    QStringList m_images;
    QString m_text;
    QColor m_textColor;
    QFont m_font;
    Qt::CheckState m_state = Qt::Unchecked;
    bool m_hovered = false;
    bool m_down = false;
};
