#include "panecombobox.h"

#include "panefwinit.h"
#include "panelineedit.h"

#include <QCursor>
#include <QAction>
#include <QFontMetricsF>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QMenu>
#include <QPainter>

namespace {

const qreal kArrowWidth = 22;
const QColor kBorder(201, 209, 219);
const QColor kBorderHover(58, 142, 230);
const QString kTextKey = QStringLiteral("text");

} // namespace

PaneComboBox::PaneComboBox(QGraphicsItem* parent) : PaneWidget(parent), m_textColor(51, 51, 51)
{
    setLayout(Anchor);
    m_font = panefw::defaultFont();
    setAcceptHoverEvents(true);
    setAcceptedMouseButtons(Qt::LeftButton);
    setCursor(Qt::PointingHandCursor);
    setPreferredSize(110, 28);
}

PaneComboBox::~PaneComboBox()
{
    delete m_popup.data();
}

void PaneComboBox::setData(const QList<QVariantMap>& items)
{
    m_items = items;
    m_current = -1;
    if (m_edit != nullptr)
        m_edit->setText(QString());
    setCurrentIndex(0);
    update();
}

void PaneComboBox::addItem(const QString& text)
{
    m_items.append(QVariantMap{{kTextKey, text}});
    if (m_current < 0)
        setCurrentIndex(0);
    update();
}

QString PaneComboBox::itemText(int index) const
{
    return m_items.value(index).value(kTextKey).toString();
}

void PaneComboBox::setCurrentIndex(int index)
{
    if (index < 0 || index >= m_items.size())
        return;
    m_current = index;
    if (m_edit != nullptr)
        m_edit->setText(itemText(index));
    update();
}

QString PaneComboBox::currentText() const
{
    return m_edit != nullptr ? m_edit->text() : itemText(m_current);
}

void PaneComboBox::setEditable(bool editable)
{
    if (editable == isEditable())
        return;
    if (!editable) {
        delete m_edit;
        m_edit = nullptr;
        update();
        return;
    }
    m_edit = new PaneLineEdit(this);
    m_edit->setObjectName(QStringLiteral("comboLineEdit"));
    m_edit->setFrameVisible(false);
    m_edit->setFont(m_font);
    m_edit->setText(itemText(m_current));
    m_edit->setGeometry(rect().adjusted(1, 1, -kArrowWidth, -1));
    update();
}

void PaneComboBox::setTextColor(const QColor& color)
{
    m_textColor = color;
    if (m_edit != nullptr)
        m_edit->setTextColor(color);
    update();
}

void PaneComboBox::setFont(const QFont& font)
{
    m_font = font;
    if (m_edit != nullptr)
        m_edit->setFont(font);
    update();
}

QMenu* PaneComboBox::showPopup()
{
    hidePopup();
    if (m_items.isEmpty())
        return nullptr;
    auto* menu = new QMenu;
    menu->setAttribute(Qt::WA_DeleteOnClose, true);
    menu->setObjectName(QStringLiteral("paneComboPopup"));
    menu->setFont(m_font);
    menu->setStyleSheet(
        QStringLiteral("QMenu { background: #ffffff; border: 1px solid #c9d1db; padding: 2px; }"
                       " QMenu::item { padding: 4px 10px; color: #333333; }"
                       " QMenu::item:selected { background: #e6f1fc; color: #0071c0; }"));
    for (int i = 0; i < m_items.size(); ++i) {
        QAction* action = menu->addAction(itemText(i));
        action->setCheckable(true);
        action->setChecked(i == m_current);
        connect(action, &QAction::triggered, this, [this, i] { pick(i); });
    }
    menu->setMinimumWidth(qRound(size().width()));
    QPoint at;
    const QList<QGraphicsView*> views = scene() != nullptr ? scene()->views() : QList<QGraphicsView*>();
    if (!views.isEmpty()) {
        QGraphicsView* view = views.first();
        at = view->viewport()->mapToGlobal(view->mapFromScene(mapToScene(QPointF(0, size().height()))));
    }
    m_popup = menu;
    menu->popup(at);
    return menu;
}

void PaneComboBox::hidePopup()
{
    if (m_popup)
        m_popup->close();
}

void PaneComboBox::pick(int index)
{
    if (index < 0 || index >= m_items.size())
        return;
    const bool changed = index != m_current;
    setCurrentIndex(index);
    if (changed)
        emit currentIndexChanged(index);
}

QRectF PaneComboBox::arrowRect() const
{
    return QRectF(size().width() - kArrowWidth, 0, kArrowWidth, size().height());
}

void PaneComboBox::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    const QRectF frame = rect().adjusted(0.5, 0.5, -0.5, -0.5);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(m_hovered && isEnabled() ? kBorderHover : kBorder);
    painter->setBrush(isEnabled() ? QColor(Qt::white) : QColor(242, 242, 242));
    painter->drawRoundedRect(frame, 3, 3);
    if (m_edit == nullptr && m_current >= 0) {
        const QRectF textArea = rect().adjusted(8, 0, -kArrowWidth, 0);
        painter->setFont(m_font);
        painter->setPen(isEnabled() ? m_textColor : QColor(168, 168, 168));
        painter->drawText(
            textArea, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
            QFontMetricsF(m_font).elidedText(itemText(m_current), Qt::ElideRight, textArea.width()));
    }
    const QPointF c = arrowRect().center();
    const QPointF arrow[3] = {c + QPointF(-4, -2), c + QPointF(4, -2), c + QPointF(0, 3)};
    painter->setPen(Qt::NoPen);
    painter->setBrush(m_hovered && isEnabled() ? kBorderHover : QColor(120, 120, 120));
    painter->drawPolygon(arrow, 3);
    painter->restore();
}

void PaneComboBox::resizeEvent(QGraphicsSceneResizeEvent* event)
{
    PaneWidget::resizeEvent(event);
    if (m_edit != nullptr)
        m_edit->setGeometry(rect().adjusted(1, 1, -kArrowWidth, -1));
}

void PaneComboBox::hoverEnterEvent(QGraphicsSceneHoverEvent* event)
{
    m_hovered = true;
    update();
    PaneWidget::hoverEnterEvent(event);
}

void PaneComboBox::hoverLeaveEvent(QGraphicsSceneHoverEvent* event)
{
    m_hovered = false;
    update();
    PaneWidget::hoverLeaveEvent(event);
}

void PaneComboBox::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    event->accept();
    showPopup();
}
