#include "src/quorixapp/panelistctrrowwidget.h"

#include <QGraphicsSceneMouseEvent>

namespace {
const char* const kImageDir = ":/image/theme/quorix/image/";

QString themeImage(const char* file)
{
    return QString::fromLatin1(kImageDir) + QString::fromLatin1(file);
}
} // namespace

PaneListCtrRowWidget::PaneListCtrRowWidget(QGraphicsItem* parent) : PaneFrameItemEx(parent)
{
    setImage(themeImage("list_row_normal1.png"));
    setFrameType(PaneFrameItem::Stretched);
    setFlag(QGraphicsItem::ItemClipsChildrenToShape);
    setDragPolicy(PaneWidget::NoDragWindow);
    setAcceptHoverEvents(true);
    setRowImages(themeImage("list_row_normal1.png"), themeImage("list_row_normal2.png"),
                 themeImage("list_row_active.png"), themeImage("list_row_chosen.png"));
}

void PaneListCtrRowWidget::setRowImages(const QString& evenImage, const QString& oddImage,
                                        const QString& activeImage, const QString& chosenImage)
{
    m_evenImage = evenImage;
    m_oddImage = oddImage;
    m_activeImage = activeImage;
    m_chosenImage = chosenImage;
    setImages(QStringList{evenImage, activeImage, chosenImage});
}

QString PaneListCtrRowWidget::stripeImage() const
{
    return m_rowIndex % 2 == 0 ? m_evenImage : m_oddImage;
}

void PaneListCtrRowWidget::setRowIndex(int index)
{
    if (index == m_rowIndex)
        return;
    m_rowIndex = index;
    setImage(stripeImage());
    update();
}

void PaneListCtrRowWidget::setState(int state)
{
    if (state == m_state)
        return;
    if (m_state == Chosen || state == Chosen)
        setPressed(m_state != Chosen);
    m_state = state;
    switch (state) {
    case Normal:
        setImage(stripeImage());
        break;
    case Active:
        setImage(m_activeImage);
        break;
    case Chosen:
        setImage(m_chosenImage);
        break;
    default:
        break;
    }
    update();
}

void PaneListCtrRowWidget::hoverEnterEvent(QGraphicsSceneHoverEvent* event)
{
    PaneFrameItemEx::hoverEnterEvent(event);
    if (m_state == Chosen)
        return;
    setState(Active);
    emit list_row_actived(m_rowIndex);
}

void PaneListCtrRowWidget::hoverLeaveEvent(QGraphicsSceneHoverEvent* event)
{
    PaneFrameItemEx::hoverLeaveEvent(event);
    if (m_state == Chosen)
        return;
    setState(Normal);
    emit list_row_unactived(m_rowIndex);
}

void PaneListCtrRowWidget::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    event->accept();
    emit list_row_pressed(m_rowIndex);
}
