#include "src/quorixapp/quorixwindowloader.h"

#include "src/quorixapp/entchannelinterface.h"
#include "src/quorixapp/quorixapp.h"

#include <componentroot.h>
#include <itovouicreator.h>
#include <paneframewindow.h>
#include <serviceids.h>

#include <QIcon>

PaneFrameWindow* QuorixWindowLoader::createWindow(const QString& layoutPath)
{
    QuorixApp* app = QuorixApp::instance();
    EntChannelInterface* channel = app ? app->getChannelInterface() : nullptr;
    if (!channel || !channel->getChannelWindow())
        return nullptr;
    comptr<ITovoUICreator> creator =
        serviceInterface<ITovoUICreator>(app->getComRoot(), hostsdk::kUiCreatorService);
    if (!creator)
        return nullptr;
    PaneFrameWindow* window = creator->createWindow(layoutPath, QString(), nullptr);
    creator = nullptr;
    return window;
}

void QuorixWindowLoader::prepareWindow(PaneFrameWindow* window, const QString& title)
{
    if (!window)
        return;
    window->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    window->setAttribute(Qt::WA_TranslucentBackground, true);
    window->setAttribute(Qt::WA_DeleteOnClose, true);
    window->setWindowIcon(QIcon(QStringLiteral(":/image/theme/quorix/image/icon_toupiao.png")));
    window->setWindowTitle(title);
    centreOverChannelWindow(window);
    window->hide();
}

void QuorixWindowLoader::centreOverChannelWindow(QWidget* window)
{
    QuorixApp* app = QuorixApp::instance();
    EntChannelInterface* channel = app ? app->getChannelInterface() : nullptr;
    QWidget* channelWindow = channel ? channel->getChannelWindow() : nullptr;
    if (!window || !channelWindow)
        return;
    const QRect anchor = channelWindow->frameGeometry();
    window->move(anchor.center() - QPoint(window->width() / 2, window->height() / 2));
}
