#include "panelabelwidget.h"

#include "panefwinit.h"

#include <QCursor>
#include <QFontMetricsF>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>

namespace {

const QColor kDefaultText(51, 51, 51);
const QColor kDisabledText(168, 168, 168);
const QColor kPlaceholderText(170, 170, 170);

} // namespace

PaneLabelWidget::PaneLabelWidget(QGraphicsItem* parent) : PaneWidget(parent), m_color(kDefaultText)
{
    m_font = panefw::defaultFont();
    setFlag(ItemClipsToShape, false);
}

PaneLabelWidget::PaneLabelWidget(const QString& text, QGraphicsItem* parent) : PaneLabelWidget(parent)
{
    setText(text);
}

void PaneLabelWidget::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    updateGeometry();
    update();
}

void PaneLabelWidget::setPlaceholderText(const QString& text)
{
    m_placeholder = text;
    update();
}

void PaneLabelWidget::setTextColor(const QColor& color)
{
    m_color = color;
    update();
}

void PaneLabelWidget::setFont(const QFont& font)
{
    m_font = font;
    updateGeometry();
    update();
}

void PaneLabelWidget::setFontSize(int pixelSize)
{
    if (pixelSize > 0)
        m_font.setPixelSize(pixelSize);
    setFont(m_font);
}

void PaneLabelWidget::setBold(bool bold)
{
    m_font.setBold(bold);
    setFont(m_font);
}

void PaneLabelWidget::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void PaneLabelWidget::setAcceptClick(bool accept)
{
    m_acceptClick = accept;
    updateInteraction();
}

void PaneLabelWidget::setUnderlineOnHover(bool underline)
{
    m_underlineOnHover = underline;
    updateInteraction();
}

void PaneLabelWidget::updateInteraction()
{
    setAcceptHoverEvents(m_acceptClick || m_underlineOnHover);
    setAcceptedMouseButtons(m_acceptClick ? Qt::LeftButton : Qt::NoButton);
    if (m_acceptClick || m_underlineOnHover)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

QFont PaneLabelWidget::drawnFont() const
{
    QFont font = m_font;
    if (m_underlineOnHover && m_hovered && isEnabled())
        font.setUnderline(true);
    return font;
}

void PaneLabelWidget::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    const bool placeholder = m_text.isEmpty();
    const QString& shown = placeholder ? m_placeholder : m_text;
    if (shown.isEmpty())
        return;
    const QRectF area = rect();
    const QFont font = drawnFont();
    const QString elided = QFontMetricsF(font).elidedText(shown, Qt::ElideRight, area.width());
    painter->save();
    painter->setRenderHint(QPainter::TextAntialiasing, true);
    painter->setFont(font);
    painter->setPen(!isEnabled() ? kDisabledText : (placeholder ? kPlaceholderText : m_color));
    painter->drawText(area, static_cast<int>(m_alignment) | Qt::TextSingleLine, elided);
    painter->restore();
}

QSizeF PaneLabelWidget::sizeHint(Qt::SizeHint which, const QSizeF& constraint) const
{
    if (which != Qt::PreferredSize && which != Qt::MinimumSize)
        return PaneWidget::sizeHint(which, constraint);
    const QFontMetricsF metrics(m_font);
    const qreal height = metrics.height() + 2;
    if (which == Qt::MinimumSize)
        return QSizeF(0, 0);
    return QSizeF(metrics.horizontalAdvance(m_text.isEmpty() ? m_placeholder : m_text) + 2, height);
}

void PaneLabelWidget::hoverEnterEvent(QGraphicsSceneHoverEvent* event)
{
    m_hovered = true;
    update();
    PaneWidget::hoverEnterEvent(event);
}

void PaneLabelWidget::hoverLeaveEvent(QGraphicsSceneHoverEvent* event)
{
    m_hovered = false;
    update();
    PaneWidget::hoverLeaveEvent(event);
}

void PaneLabelWidget::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    if (!m_acceptClick || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_pressed = true;
    event->accept();
}

void PaneLabelWidget::mouseReleaseEvent(QGraphicsSceneMouseEvent* event)
{
    const bool wasPressed = m_pressed;
    m_pressed = false;
    if (wasPressed && m_acceptClick && isEnabled() && rect().contains(event->pos()))
        emit clicked();
}
