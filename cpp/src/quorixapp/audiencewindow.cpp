#include "audiencewindow.h"

#include "quorixapp.h"
#include "quorixwindowloader.h"

#include "componentroot.h"
#include "itovouicreator.h"
#include "paneframewindow.h"
#include "panesyscommandrequest.h"
#include "winapi.h"

#include <QIcon>

namespace audience {

namespace {

const char kUICreatorService[] = "com.tovo.commoncomponentlevelservice";
const char kWindowIcon[] = ":/image/theme/quorix/image/icon_toupiao.png";
const Qt::WindowFlags kFramelessWindow = Qt::Window | Qt::FramelessWindowHint;
const UINT kFlashCount = 4;

HWND nativeHandle(PaneFrameWindow* window)
{
    return reinterpret_cast<HWND>(window->hwnd());
}

} // namespace

std::optional<PaneFrameWindow*> createLayoutWindow(const QString& layoutPath)
{
    IComponentRoot* root = QuorixApp::instance()->getComRoot();
    comptr<ITovoUICreator> creator = serviceInterface<ITovoUICreator>(root, kUICreatorService);
    if (!creator)
        return std::nullopt;
    return creator->createWindow(layoutPath, QString(), nullptr);
}

void setUpFrame(PaneFrameWindow* window, const QString& title)
{
    window->setWindowFlags(kFramelessWindow);
    window->setAttribute(Qt::WA_TranslucentBackground);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowIcon(QIcon(QString::fromUtf8(kWindowIcon)));
    window->setWindowTitle(title);
    QuorixWindowLoader::centreOverChannelWindow(window);
    window->hide();
}

void showOnTop(PaneFrameWindow* window)
{
    if (window == nullptr || window->isVisible())
        return;
    window->show();
    window->activateWindow();
    SetWindowPos(nativeHandle(window), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
}

void flashTaskbar(PaneFrameWindow* window)
{
    if (window == nullptr)
        return;
    FLASHWINFO info{};
    info.cbSize = sizeof(FLASHWINFO);
    info.hwnd = nativeHandle(window);
    info.dwFlags = FLASHW_TRAY;
    info.uCount = kFlashCount;
    info.dwTimeout = 0;
    FlashWindowEx(&info);
}

bool handleSysCommand(PaneFrameWindow* window, PaneSysCommandRequest* request)
{
    if (request == nullptr)
        return false;
    if (request->type() == 0) {
        request->reject();
        return false;
    }
    if (request->type() != 2 || window == nullptr)
        return false;
    window->setWindowFlags(Qt::Window);
    window->setWindowFlags(kFramelessWindow);
    return true;
}

QString countdownText(qint32 remainingSeconds)
{
    const quint32 remaining = remainingSeconds > 0 ? static_cast<quint32>(remainingSeconds) : 0;
    const quint32 minutes = remaining / 60;
    const quint32 seconds = remaining % 60;
    if (minutes < 10 && seconds < 10)
        return QString::asprintf("0%u:0%u", minutes, seconds);
    if (minutes < 10)
        return QString::asprintf("0%u:%u", minutes, seconds);
    if (seconds < 10)
        return QString::asprintf("%u:0%u", minutes, seconds);
    return QString::asprintf("%u:%u", minutes, seconds);
}

quint64 progressScale(quint32 maxCount)
{
    quint64 scale = 10;
    for (quint32 rest = maxCount / 10; rest != 0; rest /= 10)
        scale *= 10;
    return scale;
}

int progressValue(quint32 count, quint64 scale)
{
    return static_cast<int>(static_cast<double>(count) / static_cast<double>(scale) * 100.0);
}

bool keepsShownCount(const QString& shown, quint32 count)
{
    bool numeric = false;
    const uint value = shown.toUInt(&numeric);
    return numeric && value >= count;
}

} // namespace audience
