#pragma once

// A widget that draws an image frame behind its children: up to three state images (normal,
// hover, pressed) drawn according to the frame type. Hover and pressed images are used only
// while the item is hovered (hover accepted) or shows its pressed look.

#include "panewidget.h"

#include <QStringList>

class PaneFrameItem : public PaneWidget
{
    Q_OBJECT
public:
    enum FrameType
    {
        Tiled = 0,
        Stretched = 1,    // the image scaled to the whole rectangle
        NinePieces = 2,   // corners kept, edges and centre stretched
        HThreePieces = 3, // left and right ends kept, middle stretched
        VThreePieces = 4, // top and bottom ends kept, middle stretched
        KeepAspect = 5,   // scaled to fit, centred
        Centered = 6      // natural size, centred
    };
    Q_ENUM(FrameType)

    explicit PaneFrameItem(QGraphicsItem* parent = nullptr);

    // "normal|hover|pressed"; empty entries fall back to the normal image.
    void setImagePath(const QString& paths);
    QString imagePath() const { return m_images.join(QLatin1Char('|')); }
    void setImages(const QStringList& paths);
    QStringList images() const { return m_images; }
    // Replaces the normal image only.
    void setImage(const QString& path);
    QString image() const { return m_images.value(0); }

    void setFrameType(int type);
    int frameType() const { return m_frameType; }
    // Name ("NinePieces", "Stretched", ...) or number to a frame type; -1 when unknown.
    static int frameTypeFromString(const QString& text);

    // Draws the pressed image (falling back to normal) while set.
    void setPressed(bool pressed);
    bool isPressedLook() const { return m_pressedLook; }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

protected:
    void hoverEnterEvent(QGraphicsSceneHoverEvent* event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent* event) override;
    // Index (0 normal, 1 hover, 2 pressed) of the image to draw now.
    virtual int currentImageIndex() const;
    QString imageAt(int index) const;
    bool isHovered() const { return m_hovered; }

private:
    QStringList m_images;
    int m_frameType = Stretched;
    bool m_pressedLook = false;
    bool m_hovered = false;
};
