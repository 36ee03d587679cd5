#pragma once

// Draws one image scaled smoothly to its size (behind any children). Without an image, or with
// an image that cannot be loaded, it draws nothing.

#include "panewidget.h"

#include <QPixmap>

class PaneImageWidget : public PaneWidget
{
    Q_OBJECT
public:
    explicit PaneImageWidget(QGraphicsItem* parent = nullptr);

    // Empty path clears the image. A missing file is logged once and draws nothing.
    void setImagePath(const QString& path);
    QString imagePath() const { return m_path; }
    void setImage(const QPixmap& pixmap);
    QPixmap image() const { return m_pixmap; }
    bool hasImage() const { return !m_pixmap.isNull(); }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF& constraint = QSizeF()) const override;

private:
    QString m_path;
    QPixmap m_pixmap;
};
