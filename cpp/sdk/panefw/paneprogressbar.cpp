#include "paneprogressbar.h"

#include "panefwinit.h"
#include "panepixmap.h"

#include <QPainter>

namespace {

const QColor kTrack(226, 232, 240);
const QColor kFill(0, 136, 230);

} // namespace

PaneProgressBar::PaneProgressBar(QGraphicsItem* parent) : PaneWidget(parent), m_textColor(51, 51, 51)
{
    setLayout(Anchor);
}

void PaneProgressBar::setRange(int minimum, int maximum)
{
    m_minimum = minimum;
    m_maximum = qMax(minimum, maximum);
    setValue(m_value);
    update();
}

void PaneProgressBar::setValue(int value)
{
    const int clamped = qBound(m_minimum, value, m_maximum);
    if (clamped == m_value)
        return;
    m_value = clamped;
    update();
    emit valueChanged(m_value);
}

qreal PaneProgressBar::fillRatio() const
{
    const qint64 span = qint64(m_maximum) - m_minimum;
    if (span <= 0)
        return 0;
    return qreal(qint64(m_value) - m_minimum) / qreal(span);
}

void PaneProgressBar::setTextVisible(bool visible)
{
    m_textVisible = visible;
    update();
}

void PaneProgressBar::setTextColor(const QColor& color)
{
    m_textColor = color;
    update();
}

void PaneProgressBar::setProgressStripeImage(const QString& paths)
{
    m_stripePaths = paths;
    const QStringList parts = paths.split(QLatin1Char('|'));
    m_trackPath = parts.value(0).trimmed();
    m_stripeFillPath = parts.value(1).trimmed();
    panefw::loadPixmap(m_trackPath);
    panefw::loadPixmap(m_stripeFillPath);
    update();
}

void PaneProgressBar::setProgressImage(const QString& path)
{
    m_fillPath = path;
    panefw::loadPixmap(path);
    update();
}

QString PaneProgressBar::effectiveFillPath() const
{
    return m_fillPath.isEmpty() ? m_stripeFillPath : m_fillPath;
}

// "track|fill" normally; when the first stripe image is the progress image itself, the pair was
// given as "fill|track" and the second one is the track.
QString PaneProgressBar::effectiveTrackPath() const
{
    if (!m_fillPath.isEmpty() && m_trackPath == m_fillPath && !m_stripeFillPath.isEmpty())
        return m_stripeFillPath;
    return m_trackPath;
}

void PaneProgressBar::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    const QRectF area = rect();
    const QString trackPath = effectiveTrackPath();
    const QPixmap track = panefw::loadPixmap(trackPath);
    const QPixmap fill = panefw::loadPixmap(effectiveFillPath());
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    if (!track.isNull()) {
        panefw::drawFramed(painter, area, track, 1);
    } else if (trackPath.isEmpty() && fill.isNull()) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(kTrack);
        painter->drawRoundedRect(area, area.height() / 2, area.height() / 2);
    }
    const QRectF filled(area.left(), area.top(), area.width() * fillRatio(), area.height());
    if (!filled.isEmpty()) {
        painter->setClipRect(filled, Qt::IntersectClip);
        if (!fill.isNull()) {
            panefw::drawFramed(painter, area, fill, 1);
        } else if (effectiveFillPath().isEmpty()) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(kFill);
            painter->drawRoundedRect(area, area.height() / 2, area.height() / 2);
        }
        painter->setClipping(false);
    }
    if (m_textVisible) {
        painter->setFont(panefw::defaultFont());
        painter->setPen(m_textColor);
        painter->drawText(area, Qt::AlignCenter, QStringLiteral("%1%").arg(qRound(fillRatio() * 100)));
    }
    painter->restore();
}
