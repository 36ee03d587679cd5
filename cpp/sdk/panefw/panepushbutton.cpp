#include "panepushbutton.h"

#include "panefwinit.h"
#include "panepixmap.h"

#include <QCursor>
#include <QFontMetricsF>
#include <QGraphicsSceneHoverEvent>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>

namespace {

const QColor kDefaultText(51, 51, 51);
const QColor kDisabledText(168, 168, 168);

enum ImageIndex
{
    Normal = 0,
    Hover = 1,
    Pressed = 2,
    Disabled = 3,
    Checked = 4
};

} // namespace

PanePushButton::PanePushButton(QGraphicsItem* parent) : PaneFrameItem(parent), m_textColor(kDefaultText)
{
    m_font = panefw::defaultFont();
    setAcceptHoverEvents(true);
    setAcceptedMouseButtons(Qt::LeftButton);
    setCursor(Qt::PointingHandCursor);
}

void PanePushButton::setImagePath(const QString& paths)
{
    PaneFrameItem::setImagePath(paths);
}

void PanePushButton::setImage(const QString& normal, const QString& hover, const QString& pressed,
                              const QString& disabled, const QString& checked)
{
    setImages({normal, hover, pressed, disabled, checked});
}

void PanePushButton::setText(const QString& text)
{
    m_text = text;
    updateGeometry();
    update();
}

void PanePushButton::setTextColor(const QColor& color)
{
    m_textColor = color;
    update();
}

void PanePushButton::setFont(const QFont& font)
{
    m_font = font;
    updateGeometry();
    update();
}

void PanePushButton::setButtonStyle(int style)
{
    m_style = (style == ImageOnly || style == TextOnly) ? style : ImageWithText;
    update();
}

void PanePushButton::setChecked(bool checked)
{
    m_checked = checked;
    update();
}

void PanePushButton::click()
{
    if (!isEnabled())
        return;
    if (m_checkable)
        setChecked(!m_checked);
    emit clicked();
}

int PanePushButton::currentImageIndex() const
{
    if (!isEnabled())
        return Disabled;
    if (m_down || isPressedLook())
        return Pressed;
    if (isHovered())
        return Hover;
    if (m_checked)
        return Checked;
    return Normal;
}

void PanePushButton::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    if (m_style != TextOnly)
        panefw::drawFramed(painter, rect(), panefw::loadPixmap(imageAt(currentImageIndex())), frameType());
    if (m_style != ImageOnly)
        paintText(painter);
}

void PanePushButton::paintText(QPainter* painter) const
{
    if (m_text.isEmpty())
        return;
    QFont font = m_font;
    if (m_style == TextOnly && isHovered() && isEnabled())
        font.setUnderline(true);
    QRectF area = rect();
    if (m_down && m_style != TextOnly)
        area.translate(0, 1);
    painter->save();
    painter->setRenderHint(QPainter::TextAntialiasing, true);
    painter->setFont(font);
    painter->setPen(isEnabled() ? m_textColor : kDisabledText);
    const QString elided = QFontMetricsF(font).elidedText(m_text, Qt::ElideRight, area.width());
    painter->drawText(area, Qt::AlignCenter | Qt::TextSingleLine, elided);
    painter->restore();
}

QSizeF PanePushButton::sizeHint(Qt::SizeHint which, const QSizeF& constraint) const
{
    if (which != Qt::PreferredSize)
        return PaneFrameItem::sizeHint(which, constraint);
    QSizeF size = panefw::loadPixmap(imageAt(Normal)).size();
    if (!m_text.isEmpty()) {
        const QFontMetricsF metrics(m_font);
        size = size.expandedTo(QSizeF(metrics.horizontalAdvance(m_text) + 12, metrics.height() + 6));
    }
    return size;
}

void PanePushButton::hoverEnterEvent(QGraphicsSceneHoverEvent* event)
{
    PaneFrameItem::hoverEnterEvent(event);
    emit hoverEnter(event->pos());
}

void PanePushButton::hoverLeaveEvent(QGraphicsSceneHoverEvent* event)
{
    PaneFrameItem::hoverLeaveEvent(event);
    emit hoverLeave();
}

void PanePushButton::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_down = true;
    update();
    emit pressed();
}

void PanePushButton::mouseReleaseEvent(QGraphicsSceneMouseEvent* event)
{
    const bool wasDown = m_down;
    m_down = false;
    update();
    emit released();
    if (wasDown && isEnabled() && rect().contains(event->pos()))
        click();
}

void PanePushButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) {
        m_down = false;
        update();
    }
    PaneFrameItem::changeEvent(event);
}
