#pragma once

// Builds the add-on's management windows from their layouts through the host's UI creator and
// gives them the common window set-up. The caller owns the returned window.

#include <QString>

class PaneFrameWindow;
class QWidget;

class QuorixWindowLoader
{
public:
    // Null when the application root, its channel bridge with a channel window, the host root,
    // the UI creator or the layout is missing.
    static PaneFrameWindow* createWindow(const QString& layoutPath);
    // Frameless top-level window, translucent, deleted on close, the add-on's icon, the title;
    // centred over the channel window and left hidden.
    static void prepareWindow(PaneFrameWindow* window, const QString& title);
    // Moves `window` so it is centred over the host's channel window, so that the windows of
    // several hosts on one desktop open over their own channel windows; nothing without one.
    static void centreOverChannelWindow(QWidget* window);
};
