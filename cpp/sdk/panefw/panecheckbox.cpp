#include "panecheckbox.h"

#include "panefwinit.h"
#include "panepixmap.h"

#include <QCursor>
#include <QFontMetricsF>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>

namespace {

const QColor kDefaultText(51, 51, 51);
const QColor kDisabledText(168, 168, 168);
const qreal kIndicatorSize = 16;
const qreal kTextGap = 6;

} // namespace

PaneCheckBox::PaneCheckBox(QGraphicsItem* parent) : PaneWidget(parent), m_textColor(kDefaultText)
{
    m_font = panefw::defaultFont();
    setAcceptHoverEvents(true);
    setAcceptedMouseButtons(Qt::LeftButton);
    setCursor(Qt::PointingHandCursor);
}

void PaneCheckBox::setImagePath(const QString& paths)
{
    m_images = paths.isEmpty() ? QStringList() : paths.split(QLatin1Char('|'));
    for (QString& path : m_images) {
        path = path.trimmed();
        panefw::loadPixmap(path);
    }
    updateGeometry();
    update();
}

void PaneCheckBox::setText(const QString& text)
{
    m_text = text;
    updateGeometry();
    update();
}

void PaneCheckBox::setTextColor(const QColor& color)
{
    m_textColor = color;
    update();
}

void PaneCheckBox::setFont(const QFont& font)
{
    m_font = font;
    updateGeometry();
    update();
}

void PaneCheckBox::setCheckState(Qt::CheckState state)
{
    m_state = state;
    update();
}

void PaneCheckBox::click()
{
    if (!isEnabled())
        return;
    m_state = isChecked() ? Qt::Unchecked : Qt::Checked;
    update();
    emit stateSelected(isChecked());
}

int PaneCheckBox::currentImageIndex() const
{
    const int base = isChecked() ? CheckedNormal : UncheckedNormal;
    if (!isEnabled())
        return base + 3;
    if (m_down)
        return base + 2;
    if (m_hovered)
        return base + 1;
    return base;
}

void PaneCheckBox::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    const QPixmap image = panefw::loadPixmap(m_images.value(currentImageIndex()));
    const QPixmap fallback =
        panefw::loadPixmap(m_images.value(isChecked() ? CheckedNormal : UncheckedNormal));
    const QPixmap& shown = image.isNull() ? fallback : image;
    const QSizeF boxSize = shown.isNull() ? QSizeF(kIndicatorSize, kIndicatorSize) : QSizeF(shown.size());
    const QRectF box(0, (size().height() - boxSize.height()) / 2, qMin(boxSize.width(), size().width()),
                     qMin(boxSize.height(), size().height()));
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    if (shown.isNull())
        paintIndicator(painter, box);
    else
        painter->drawPixmap(box, shown, QRectF(shown.rect()));
    if (!m_text.isEmpty()) {
        const QRectF textArea(box.right() + kTextGap, 0, size().width() - box.right() - kTextGap,
                              size().height());
        painter->setFont(m_font);
        painter->setPen(isEnabled() ? m_textColor : kDisabledText);
        painter->drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          QFontMetricsF(m_font).elidedText(m_text, Qt::ElideRight, textArea.width()));
    }
    painter->restore();
}

// Drawn when the box has no images: a rounded square with a tick when checked.
void PaneCheckBox::paintIndicator(QPainter* painter, const QRectF& box) const
{
    const QRectF square = box.adjusted(1, 1, -1, -1);
    const QColor accent = isEnabled() ? QColor(0, 113, 192) : kDisabledText;
    painter->setPen(QPen(m_hovered ? accent : QColor(150, 150, 150), 1));
    painter->setBrush(isChecked() ? accent : QColor(Qt::white));
    painter->drawRoundedRect(square, 3, 3);
    if (!isChecked())
        return;
    painter->setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF tick[3] = {square.topLeft() + QPointF(square.width() * 0.22, square.height() * 0.52),
                             square.topLeft() + QPointF(square.width() * 0.42, square.height() * 0.72),
                             square.topLeft() + QPointF(square.width() * 0.78, square.height() * 0.30)};
    painter->drawPolyline(tick, 3);
}

QSizeF PaneCheckBox::sizeHint(Qt::SizeHint which, const QSizeF& constraint) const
{
    if (which != Qt::PreferredSize)
        return PaneWidget::sizeHint(which, constraint);
    const QPixmap image = panefw::loadPixmap(m_images.value(UncheckedNormal));
    QSizeF size = image.isNull() ? QSizeF(kIndicatorSize, kIndicatorSize) : QSizeF(image.size());
    if (!m_text.isEmpty()) {
        const QFontMetricsF metrics(m_font);
        size.rwidth() += kTextGap + metrics.horizontalAdvance(m_text);
        size.setHeight(qMax(size.height(), metrics.height()));
    }
    return size;
}

void PaneCheckBox::hoverEnterEvent(QGraphicsSceneHoverEvent* event)
{
    m_hovered = true;
    update();
    PaneWidget::hoverEnterEvent(event);
}

void PaneCheckBox::hoverLeaveEvent(QGraphicsSceneHoverEvent* event)
{
    m_hovered = false;
    update();
    PaneWidget::hoverLeaveEvent(event);
}

void PaneCheckBox::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_down = true;
    update();
}

void PaneCheckBox::mouseReleaseEvent(QGraphicsSceneMouseEvent* event)
{
    const bool wasDown = m_down;
    m_down = false;
    update();
    if (wasDown && rect().contains(event->pos()))
        click();
}
