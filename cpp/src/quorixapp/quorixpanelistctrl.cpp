#include "src/quorixapp/quorixpanelistctrl.h"

#include "paneboxlayout.h"

#include "src/quorixapp/panelistctrrowwidget.h"

#include <cperflogproxy.h>
#include <panedynamiccreator.h>
#include <paneframeitemex.h>

#include <QGraphicsSceneResizeEvent>

namespace {
const qreal kContentMargin = 2;

PaneWidget* findNamed(QGraphicsItem* root, const QString& name)
{
    QList<QGraphicsItem*> queue = root->childItems();
    while (!queue.isEmpty()) {
        QGraphicsItem* item = queue.takeFirst();
        auto* widget = qobject_cast<PaneWidget*>(item->toGraphicsObject());
        if (widget && widget->objectName() == name)
            return widget;
        queue += item->childItems();
    }
    return nullptr;
}
} // namespace

QuorixPaneListCtrl::QuorixPaneListCtrl(QGraphicsItem* parent) : PaneScrollArea(parent)
{
    setColorizePolicy(PaneWidget::UnColorableFlag);
    m_pContent = new PaneFrameItemEx(this);
    setContentWidget(m_pContent);
    m_pLayout = new PaneBoxLayout(Qt::Vertical);
    m_pLayout->setSpacing(0);
    m_pLayout->setContentsMargins(kContentMargin, kContentMargin, kContentMargin, kContentMargin);
    m_pContent->QGraphicsWidget::setLayout(m_pLayout);
    connect(this, &PaneScrollArea::scrollPosChanged, this, &QuorixPaneListCtrl::on_scrollPosChanged);
}

QuorixPaneListCtrl::~QuorixPaneListCtrl() = default;

QString QuorixPaneListCtrl::bkImagePath() const
{
    return m_pContent ? m_pContent->imagePath() : QString();
}

void QuorixPaneListCtrl::setBkImagePath(const QString& path)
{
    if (!m_pContent)
        return;
    m_pContent->setImagePath(path);
    m_pContent->setFrameType(PaneFrameItem::Stretched);
}

qreal QuorixPaneListCtrl::rowWidth() const
{
    return qMax<qreal>(0, size().width() - 2 * kContentMargin);
}

PaneListCtrRowWidget* QuorixPaneListCtrl::insertRow(int index, quint32 height, PaneListCtrRowWidget* row,
                                                    bool deferLayout)
{
    if (index < -1 || index > rowCount())
        return nullptr;
    if (!row) {
        row = new PaneListCtrRowWidget();
        row->setLayout(PaneWidget::Anchor);
    }
    connect(row, &PaneListCtrRowWidget::list_row_pressed, this, &QuorixPaneListCtrl::rowClicked);
    connect(row, &PaneListCtrRowWidget::list_row_actived, this, &QuorixPaneListCtrl::rowCtrlActived);
    connect(row, &PaneListCtrRowWidget::list_row_unactived, this, &QuorixPaneListCtrl::rowCtrlUnActived);
    row->setParent(this);
    row->setParentItem(m_pContent);
    row->setFixSize(rowWidth(), height);

    const RowEntry entry{height, row};
    if (index == -1 || index == rowCount()) {
        m_rows.append(entry);
        m_pLayout->appendItem(row);
    } else {
        m_rows.insert(index, entry);
        m_pLayout->insertItemAt(index, row);
    }
    if (!deferLayout)
        relayout();
    renumberFrom(qMax(index, 0));
    return row;
}

void QuorixPaneListCtrl::relayout()
{
    m_pLayout->invalidate();
    m_pLayout->activate();
    fitContent();
}

void QuorixPaneListCtrl::renumberFrom(int index)
{
    for (int i = rowCount() - 1; i >= index; --i)
        m_rows[i].row->setRowIndex(i);
}

void QuorixPaneListCtrl::removeRow(int index)
{
    if (index < 0 || index >= rowCount())
        return;
    PaneListCtrRowWidget* row = m_rows[index].row;
    m_pLayout->removeLayoutItem(row);
    relayout();
    delete row;
    m_rows.removeAt(index);
    renumberFrom(index);
}

void QuorixPaneListCtrl::clearRows()
{
    for (int i = rowCount() - 1; i >= 0; --i) {
        m_pLayout->removeLayoutItem(m_rows[i].row);
        delete m_rows[i].row;
    }
    m_rows.clear();
    relayout();
}

PaneListCtrRowWidget* QuorixPaneListCtrl::rowWidget(int index) const
{
    return index >= 0 && index < rowCount() ? m_rows[index].row : nullptr;
}

PaneWidget* QuorixPaneListCtrl::findInRow(int index, const QString& objectName) const
{
    PaneListCtrRowWidget* row = rowWidget(index);
    return row ? findNamed(row, objectName) : nullptr;
}

void QuorixPaneListCtrl::placeInRow(int index, QGraphicsWidget* widget, const QRectF& rect)
{
    PaneListCtrRowWidget* row = rowWidget(index);
    if (!row || !widget)
        return;
    widget->setParent(row);
    widget->setParentItem(row);
    widget->setGeometry(rect);
}

void QuorixPaneListCtrl::setRowState(int index, int state)
{
    if (PaneListCtrRowWidget* row = rowWidget(index))
        row->setState(state);
}

void QuorixPaneListCtrl::setRowHeight(int index, quint32 height)
{
    PaneListCtrRowWidget* row = rowWidget(index);
    if (!row)
        return;
    m_rows[index].height = height;
    row->setFixHeight(height);
    relayout();
}

void QuorixPaneListCtrl::unhighlightRow(int index)
{
    if (index == m_selectedRow)
        setRowState(index, PaneListCtrRowWidget::Normal);
}

void QuorixPaneListCtrl::setSelectable(bool selectable)
{
    m_selectable = selectable;
    if (!selectable && m_selectedRow != -1)
        unhighlightRow(m_selectedRow);
}

void QuorixPaneListCtrl::selectRow(int row)
{
    if (row == m_selectedRow)
        return;
    setRowState(m_selectedRow, PaneListCtrRowWidget::Normal);
    setRowState(row, PaneListCtrRowWidget::Active);
    m_selectedRow = row;
}

void QuorixPaneListCtrl::rowClicked(int row)
{
    if (!m_selectable) {
        emit rowPressed(row);
        return;
    }
    if (row < 0 || row >= rowCount())
        return;
    const int previous = m_selectedRow;
    setRowState(previous, PaneListCtrRowWidget::Normal);
    if (row == previous) {
        emit rowUnSelected(row);
        m_selectedRow = -1;
        return;
    }
    setRowState(row, PaneListCtrRowWidget::Chosen);
    emit rowSelected(row);
    emit rowUnSelected(previous);
    m_selectedRow = row;
}

void QuorixPaneListCtrl::rowCtrlActived(int row)
{
    if (row == m_activeRow)
        return;
    m_activeRow = row;
    emit rowActived(row);
}

void QuorixPaneListCtrl::rowCtrlUnActived(int row)
{
    if (row != m_activeRow)
        return;
    m_activeRow = -1;
    emit rowUnActived(row);
}

void QuorixPaneListCtrl::on_scrollPosChanged(int pos)
{
    m_scrollPos = pos;
}

void QuorixPaneListCtrl::resizeEvent(QGraphicsSceneResizeEvent* event)
{
    PaneScrollArea::resizeEvent(event);
    for (const RowEntry& entry : qAsConst(m_rows))
        entry.row->setFixWidth(rowWidth());
    relayout();
}

namespace {

// Enters the list into the UI framework's creation table while the library is loaded, so that
// layouts can declare it by class name.
struct ListCtrlRegistrar
{
    static constexpr const char* kClassName = "QuorixPaneListCtrl";

    ListCtrlRegistrar()
    {
        PaneDynamicCreator::registerClass(QString::fromLatin1(kClassName), [](QGraphicsItem* parent) {
            CPerfLogProxy scope("QuorixPaneListCtrl::dynamicCreateObjectQuorixPaneListCtrl");
            return static_cast<QGraphicsWidget*>(new QuorixPaneListCtrl(parent));
        });
    }
    ~ListCtrlRegistrar() { PaneDynamicCreator::unregisterClass(QString::fromLatin1(kClassName)); }
};

const ListCtrlRegistrar s_registrar;

} // namespace
