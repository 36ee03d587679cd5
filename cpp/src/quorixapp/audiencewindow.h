#pragma once

// What the three audience windows share: building a window from its layout through the host's
// UI creator, the frameless top-level set-up, raising and flashing, the system-command rule,
// the countdown text and the progress scale.

#include <QString>

#include <optional>

class PaneFrameWindow;
class PaneSysCommandRequest;

namespace audience {

// The window built from `layoutPath`; std::nullopt when the host root or its UI creator is
// missing, a null window when the creator could not build it.
std::optional<PaneFrameWindow*> createLayoutWindow(const QString& layoutPath);

// Frameless top-level window, translucent, deleted when closed, with the vote icon; hidden.
void setUpFrame(PaneFrameWindow* window, const QString& title);

// Shows a hidden window, activates it and keeps it on top; a visible window is left alone.
void showOnTop(PaneFrameWindow* window);
// Flashes the window's taskbar button four times.
void flashTaskbar(PaneFrameWindow* window);
// Type 0 (close) is rejected; type 2 (restore) re-applies the frameless flags. Returns true
// when the caller should raise the window.
bool handleSysCommand(PaneFrameWindow* window, PaneSysCommandRequest* request);

// "mm:ss" with at least two digits each; minutes are not capped.
QString countdownText(qint32 remainingSeconds);

// 10 to the power of the number of decimal digits of `maxCount` (0 counts as one digit).
quint64 progressScale(quint32 maxCount);
int progressValue(quint32 count, quint64 scale);

// A count label keeps a shown number that is not below `count` (an optimistic local "+1"
// outlives an older broadcast); anything else shows `count`.
bool keepsShownCount(const QString& shown, quint32 count);

} // namespace audience
