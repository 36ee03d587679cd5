#pragma once

// Shared pieces of the panefw tests: the application object, generated images and helpers that
// drive a window's view with real mouse events.

#include <QColor>
#include <QPoint>
#include <QString>
#include <QTemporaryDir>

class PaneFrameWindow;
class QGraphicsWidget;

namespace panetest {

// A directory of solid-colour PNG images made for the tests.
class ImageDir
{
public:
    ImageDir();
    // Path of a w x h image of one colour, created on first use.
    QString image(const QString& name, const QColor& color, int width = 20, int height = 20);
    QString path(const QString& name) const;

private:
    QTemporaryDir m_dir;
};

// The point of the view's viewport at the centre of widget.
QPoint viewPoint(PaneFrameWindow* window, QGraphicsWidget* widget);
void hover(PaneFrameWindow* window, QGraphicsWidget* widget);
void leave(PaneFrameWindow* window);
void click(PaneFrameWindow* window, QGraphicsWidget* widget);
void press(PaneFrameWindow* window, QGraphicsWidget* widget);
void release(PaneFrameWindow* window, QGraphicsWidget* widget);
// Shows the window and waits until it is exposed.
void showAndWait(PaneFrameWindow* window);

} // namespace panetest
