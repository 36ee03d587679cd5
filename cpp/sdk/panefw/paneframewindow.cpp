#include "paneframewindow.h"

#include "panefwinit.h"
#include "panelog.h"
#include "panepixmap.h"
#include "panesyscommandrequest.h"
#include "panewidget.h"

#include <QCloseEvent>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QMouseEvent>
#include <QPainter>

namespace {

// Draws the window's background image behind the scene and keeps the scene unscrolled.
class PaneView : public QGraphicsView
{
public:
    PaneView(QGraphicsScene* scene, PaneFrameWindow* window) : QGraphicsView(scene, window), m_window(window)
    {
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
        setAlignment(Qt::AlignLeft | Qt::AlignTop);
        setBackgroundBrush(Qt::NoBrush);
        viewport()->setAutoFillBackground(false);
        setViewportUpdateMode(QGraphicsView::BoundingRectViewportUpdate);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        QGraphicsView::mousePressEvent(event);
        m_dragging =
            !event->isAccepted() && event->button() == Qt::LeftButton && startsWindowDrag(event->pos());
        if (m_dragging) {
            m_dragOffset = event->globalPos() - m_window->frameGeometry().topLeft();
            event->accept();
        }
    }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (m_dragging && (event->buttons() & Qt::LeftButton)) {
            m_window->move(event->globalPos() - m_dragOffset);
            return;
        }
        QGraphicsView::mouseMoveEvent(event);
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (m_dragging) {
            m_dragging = false;
            return;
        }
        QGraphicsView::mouseReleaseEvent(event);
    }

    void drawBackground(QPainter* painter, const QRectF& rect) override
    {
        QGraphicsView::drawBackground(painter, rect);
        const QPixmap& background = m_window->backgroundPixmap();
        if (!background.isNull())
            panefw::drawFramed(painter, sceneRect(), background, 1);
    }

private:
    bool startsWindowDrag(const QPoint& viewPos) const
    {
        const QList<QGraphicsItem*> under = items(viewPos);
        for (QGraphicsItem* item = under.value(0); item != nullptr; item = item->parentItem()) {
            if (!item->isWidget())
                continue;
            auto* pane = qobject_cast<PaneWidget*>(static_cast<QGraphicsWidget*>(item));
            if (pane != nullptr && pane->dragPolicy() != PaneWidget::DragInherit)
                return pane->dragPolicy() == PaneWidget::DragWindow;
        }
        return true;
    }

    PaneFrameWindow* m_window;
    bool m_dragging = false;
    QPoint m_dragOffset;
};

} // namespace

PaneFrameWindow::PaneFrameWindow(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    panefw::initialize();
    m_scene = new QGraphicsScene(this);
    m_root = new PaneWidget;
    m_root->setObjectName(QStringLiteral("paneFrameWindowRoot"));
    m_scene->addItem(m_root);
    m_view = new PaneView(m_scene, this);
    resize(400, 300);
}

PaneFrameWindow::~PaneFrameWindow()
{
    // Widgets go before the view so that no item outlives the scene it paints into.
    delete m_root;
    m_root = nullptr;
}

void PaneFrameWindow::setBackgroundImage(const QString& path)
{
    m_backgroundPath = path;
    m_background = panefw::loadPixmap(path);
    m_view->viewport()->update();
}

void PaneFrameWindow::setFixSize(int width, int height)
{
    setFixedSize(qBound(0, width, QWIDGETSIZE_MAX), qBound(0, height, QWIDGETSIZE_MAX));
    relayout();
}

void PaneFrameWindow::setFixWidth(int width)
{
    setFixedWidth(qBound(0, width, QWIDGETSIZE_MAX));
    relayout();
}

void PaneFrameWindow::setFixHeight(int height)
{
    setFixedHeight(qBound(0, height, QWIDGETSIZE_MAX));
    relayout();
}

WId PaneFrameWindow::hwnd()
{
    return winId();
}

void PaneFrameWindow::closeEvent(QCloseEvent* event)
{
    PaneSysCommandRequest request(PaneSysCommandRequest::Close);
    emit sysCommand(&request);
    if (request.isAccepted())
        event->accept();
    else
        event->ignore();
}

void PaneFrameWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    if ((change->oldState() & Qt::WindowMinimized) && !(windowState() & Qt::WindowMinimized)) {
        PaneSysCommandRequest request(PaneSysCommandRequest::Restore);
        emit sysCommand(&request);
    }
}

void PaneFrameWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void PaneFrameWindow::relayout()
{
    const QRectF area(QPointF(0, 0), QSizeF(size()));
    m_view->setGeometry(rect());
    m_scene->setSceneRect(area);
    m_root->setMinimumSize(area.size());
    m_root->setMaximumSize(area.size());
    m_root->setGeometry(area);
    m_root->activateLayouts();
}
