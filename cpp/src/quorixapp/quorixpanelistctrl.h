#pragma once

// A scrolling list of fixed-height rows: striped, the row under the pointer highlighted, one
// row selectable by clicking. The list owns its rows; the list's owner fills them with widgets
// through placeInRow. Selected and active rows are indices, not row identities: after a
// removal they may point at another row.
//
// Signals on a click of a selectable list: rowSelected(row) then rowUnSelected(previous) (also
// when previous is -1), or rowUnSelected(row) alone when the selected row is clicked again.
// A list that is not selectable only reports rowPressed(row).

#include <panescrollarea.h>

#include <QList>

class PaneFrameItemEx;
class PaneListCtrRowWidget;
class PaneBoxLayout;

class QuorixPaneListCtrl : public PaneScrollArea
{
    Q_OBJECT
    Q_PROPERTY(QString bkImagePath READ bkImagePath WRITE setBkImagePath)
public:
    explicit QuorixPaneListCtrl(QGraphicsItem* parent = nullptr);
    ~QuorixPaneListCtrl() override;

    QString bkImagePath() const;
    void setBkImagePath(const QString& path);

    int rowCount() const { return m_rows.size(); }
    // index -1 or rowCount() appends. Returns null for any other index out of range. Without a
    // row widget a new PaneListCtrRowWidget is made; the list takes ownership either way.
    PaneListCtrRowWidget* insertRow(int index, quint32 height, PaneListCtrRowWidget* row = nullptr,
                                    bool deferLayout = false);
    void removeRow(int index);
    void clearRows();
    PaneListCtrRowWidget* rowWidget(int index) const;
    // The first PaneWidget below that row with that object name, or null.
    PaneWidget* findInRow(int index, const QString& objectName) const;
    // Makes the row the widget's parent and gives the widget the geometry rect (row coordinates).
    void placeInRow(int index, QGraphicsWidget* widget, const QRectF& rect);
    void setRowState(int index, int state);
    // Changes the height of a row and lays the list out again.
    void setRowHeight(int index, quint32 height);
    void unhighlightRow(int index);
    void setSelectable(bool selectable);
    bool isSelectable() const { return m_selectable; }
    int selectedRow() const { return m_selectedRow; }
    int activeRow() const { return m_activeRow; }

signals:
    void rowPressed(int row);
    void rowSelected(int row);
    void rowUnSelected(int row);
    void rowActived(int row);
    void rowUnActived(int row);

public slots:
    void selectRow(int row);
    void rowClicked(int row);
    void rowCtrlActived(int row);
    void rowCtrlUnActived(int row);
    void on_scrollPosChanged(int pos);

protected:
    void resizeEvent(QGraphicsSceneResizeEvent* event) override;

private:
    struct RowEntry
    {
        quint32 height;
        PaneListCtrRowWidget* row;
    };

    void relayout();
    void renumberFrom(int index);
    qreal rowWidth() const;

    QList<RowEntry> m_rows;
    int m_scrollPos = 0;
    int m_selectedRow = -1;
    int m_activeRow = -1;
    bool m_selectable = true;
    PaneFrameItemEx* m_pContent = nullptr;
    PaneBoxLayout* m_pLayout = nullptr;
};
