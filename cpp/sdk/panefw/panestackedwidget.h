#pragma once

// Holds pages on top of each other; only the current page is visible. Pages fill the widget.

#include "panewidget.h"

#include <QList>
#include <QPointer>

class PaneStackedWidget : public PaneWidget
{
    Q_OBJECT
public:
    explicit PaneStackedWidget(QGraphicsItem* parent = nullptr);
    ~PaneStackedWidget() override;

    // A page is any QGraphicsWidget; it becomes a child. The first page becomes current.
    void addItem(QGraphicsLayoutItem* item) override;
    void insertItem(int index, QGraphicsLayoutItem* item) override;
    void removeItem(QGraphicsLayoutItem* item) override;

    int count() const { return m_pages.size(); }
    int currentIndex() const { return m_current; }
    QGraphicsWidget* currentWidget() const;
    QGraphicsWidget* widget(int index) const;
    int indexOf(QGraphicsWidget* page) const;
    // Out-of-range indices are ignored.
    void setCurrentIndex(int index);

signals:
    void currentChanged(int index);

protected:
    void resizeEvent(QGraphicsSceneResizeEvent* event) override;

private:
    void prunePages();
    void showCurrent();

    QList<QPointer<QGraphicsWidget>> m_pages;
    int m_current = -1;
};
