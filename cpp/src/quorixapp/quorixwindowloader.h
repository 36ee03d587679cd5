#pragma once

// Builds the add-on's management windows from their layouts through the host's UI creator and
// gives them the common window set-up. The caller owns the returned window.

#include <QString>

class PaneFrameWindow;

class QuorixWindowLoader
{
public:
    // Null when the application root, its channel bridge with a channel window, the host root,
    // the UI creator or the layout is missing.
    static PaneFrameWindow* createWindow(const QString& layoutPath);
    // Frameless top-level window, translucent, deleted on close, the add-on's icon, the title;
    // left hidden.
    static void prepareWindow(PaneFrameWindow* window, const QString& title);
};
