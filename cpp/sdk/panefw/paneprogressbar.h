#pragma once

// A progress bar drawn from a track image (progressStripeImage) and a fill image
// (progressImage) revealed from the left over value/range of the width. Children (labels,
// badges) lie over the bar; by default they are placed freely (Anchor layout, x/y positions).

#include "panewidget.h"

#include <QColor>

class PaneProgressBar : public PaneWidget
{
    Q_OBJECT
public:
    explicit PaneProgressBar(QGraphicsItem* parent = nullptr);

    void setRange(int minimum, int maximum);
    void setMinimum(int minimum) { setRange(minimum, qMax(minimum, m_maximum)); }
    void setMaximum(int maximum) { setRange(qMin(m_minimum, maximum), maximum); }
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    // Clamped to the range.
    void setValue(int value);
    int value() const { return m_value; }
    // Fraction of the width filled, 0..1.
    qreal fillRatio() const;

    void setTextVisible(bool visible);
    bool isTextVisible() const { return m_textVisible; }
    void setTextColor(const QColor& color);

    // "track" or "track|fill": the track image and, when no progress image is set, the fill.
    // A pair whose first image is the progress image is read as "fill|track".
    void setProgressStripeImage(const QString& paths);
    QString progressStripeImage() const { return m_stripePaths; }
    void setProgressImage(const QString& path);
    QString progressImage() const { return m_fillPath; }
    void setBackgroundColorizePolicy(int policy) { m_backgroundColorizePolicy = policy; }
    int backgroundColorizePolicy() const { return m_backgroundColorizePolicy; }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

signals:
    void valueChanged(int value);

private:
    QString effectiveFillPath() const;
    QString effectiveTrackPath() const;

    int m_minimum = 0;
    int m_maximum = 100;
    int m_value = 0;
    bool m_textVisible = true;
    QColor m_textColor;
    QString m_stripePaths;
    QString m_trackPath;
    QString m_stripeFillPath;
    QString m_fillPath;
    int m_backgroundColorizePolicy = 0;
};
