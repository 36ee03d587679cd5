#pragma once

// A frameless top-level window showing a graphics scene whose root item is a PaneWidget that
// always covers the whole window. Built by PaneLayoutLoader; the caller owns the window.
// A left press that no widget takes drags the window, unless a PaneWidget under the pointer
// (or its nearest ancestor with a policy) says NoDragWindow.

#include <QPixmap>
#include <QWidget>

class PaneWidget;
class PaneSysCommandRequest;
class QGraphicsScene;
class QGraphicsView;

class PaneFrameWindow : public QWidget
{
    Q_OBJECT
public:
    explicit PaneFrameWindow(QWidget* parent = nullptr);
    ~PaneFrameWindow() override;

    PaneWidget* rootWidget() const { return m_root; }
    QGraphicsScene* scene() const { return m_scene; }
    QGraphicsView* view() const { return m_view; }

    // Drawn scaled to the window, behind every widget. A missing image is logged and ignored.
    void setBackgroundImage(const QString& path);
    QString backgroundImage() const { return m_backgroundPath; }
    const QPixmap& backgroundPixmap() const { return m_background; }

    void setColorizePolicy(int policy) { m_colorizePolicy = policy; }
    int colorizePolicy() const { return m_colorizePolicy; }

    // Fixed window size; the root widget follows.
    void setFixSize(int width, int height);
    void setFixWidth(int width);
    void setFixHeight(int height);

    // The native window handle (created on first use).
    WId hwnd();

    // Fits the scene and root widget to the window size and runs every layout now. Resizes do
    // this by themselves; call it after changing widgets when geometry is needed at once.
    void relayout();

signals:
    // Close (type 0) when the window system asks to close, Restore (type 2) when the window
    // leaves the minimised state. A rejected close leaves the window open.
    void sysCommand(PaneSysCommandRequest* request);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QGraphicsScene* m_scene = nullptr;
    QGraphicsView* m_view = nullptr;
    PaneWidget* m_root = nullptr;
    QString m_backgroundPath;
    QPixmap m_background;
    int m_colorizePolicy = 0;
};
