#include "winapi.h"
#include "winrecorder.h"

#include <QApplication>
#include <QWidget>

namespace {

QWidget* widgetOf(HWND window)
{
    if (window == nullptr)
        return nullptr;
    return QWidget::find(static_cast<WId>(reinterpret_cast<std::uintptr_t>(window)));
}

} // namespace

BOOL SetWindowPos(HWND window, HWND insertAfter, int, int, int, int, UINT)
{
    QWidget* widget = widgetOf(window);
    if (widget == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (insertAfter != HWND_TOPMOST && insertAfter != HWND_NOTOPMOST) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const bool topMost = insertAfter == HWND_TOPMOST;
    // Changing window flags hides the window; show it again where it was.
    const QPoint position = widget->pos();
    widget->setWindowFlag(Qt::WindowStaysOnTopHint, topMost);
    widget->move(position);
    widget->show();
    widget->raise();
    winapi::recordTopMost({widget, topMost});
    return TRUE;
}

BOOL FlashWindowEx(PFLASHWINFO info)
{
    if (info == nullptr || info->cbSize != sizeof(FLASHWINFO)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    QWidget* widget = widgetOf(info->hwnd);
    if (widget == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (info->dwFlags != FLASHW_STOP)
        QApplication::alert(widget, 0);
    winapi::recordFlash({widget, info->dwFlags, info->uCount, info->dwTimeout});
    return TRUE;
}
