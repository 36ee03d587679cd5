#pragma once

// One row of a QuorixPaneListCtrl: a frame item of fixed height whose background shows the
// row's striping, hover ("active") or chosen look. The owning list numbers the rows and reacts
// to the row's signals; the list's owner puts its own widgets into the row.

#include <paneframeitemex.h>

class PaneListCtrRowWidget : public PaneFrameItemEx
{
    Q_OBJECT
public:
    enum State
    {
        Normal = 0,
        Active = 1,
        Chosen = 2
    };

    explicit PaneListCtrRowWidget(QGraphicsItem* parent = nullptr);

    void setRowImages(const QString& evenImage, const QString& oddImage, const QString& activeImage,
                      const QString& chosenImage);
    void setRowIndex(int index);
    int rowIndex() const { return m_rowIndex; }
    void setState(int state);
    int state() const { return m_state; }

signals:
    void list_row_pressed(int row);
    void list_row_actived(int row);
    void list_row_unactived(int row);

protected:
    void hoverEnterEvent(QGraphicsSceneHoverEvent* event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent* event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;

private:
    QString stripeImage() const;

    int m_rowIndex = -1;
    int m_state = Normal;
    QString m_evenImage;
    QString m_oddImage;
    QString m_activeImage;
    QString m_chosenImage;
};
