#include "src/quorixapp/audience/audiencevotewindow.h"

#include "src/quorixapp/quorixapp.h"
#include "src/quorixapp/quorixcontroller.h"
#include "src/quorixlog/quorixlog.h"
#include "src/quorixapp/quorixwindowloader.h"

#include "componentroot.h"
#include "panelabelwidget.h"
#include "itovouicreator.h"
#include "winapi.h"

#include <QIcon>

namespace {

const char kUICreatorService[] = "com.tovo.commoncomponentlevelservice";
const char kImageDir[] = ":/image/theme/quorix/image/";
const char kWindowIcon[] = ":/image/theme/quorix/image/icon_toupiao.png";
const Qt::WindowFlags kFramelessWindow = Qt::Window | Qt::FramelessWindowHint;
const UINT kFlashCount = 4;

HWND nativeHandle(PaneFrameWindow* window)
{
    return reinterpret_cast<HWND>(window->hwnd());
}

} // namespace

AudienceVoteWindow::AudienceVoteWindow(const char* layoutPath, const QString& title,
                                       const char* timerLabelName)
    : m_layoutPath(layoutPath), m_title(title), m_timerLabelName(timerLabelName)
{
    m_countdown.onTick(this, &AudienceVoteWindow::onTimerCount);
}

// The derived window has already disconnected its widgets from itself.
AudienceVoteWindow::~AudienceVoteWindow()
{
    m_countdown.stop();
    if (!m_window)
        return;
    disconnect(m_window, nullptr, this, nullptr);
    m_window->close();
    delete m_window;
}

void AudienceVoteWindow::init(QuorixController* ctrl)
{
    controller = ctrl;
    if (m_window)
        return;
    IComponentRoot* root = QuorixApp::instance()->getComRoot();
    comptr<ITovoUICreator> creator = serviceInterface<ITovoUICreator>(root, kUICreatorService);
    if (!creator)
        return;
    m_window = creator->createWindow(QString::fromUtf8(m_layoutPath), QString(), nullptr);
    if (!m_window) {
        QLOG(1) << m_title << " window create fail";
        return;
    }
    m_window->setWindowFlags(kFramelessWindow);
    m_window->setAttribute(Qt::WA_TranslucentBackground);
    m_window->setAttribute(Qt::WA_DeleteOnClose);
    m_window->setWindowIcon(QIcon(QString::fromUtf8(kWindowIcon)));
    m_window->setWindowTitle(m_title);
    QuorixWindowLoader::centreOverChannelWindow(m_window);
    m_window->hide();
    connect(m_window, &PaneFrameWindow::sysCommand, this, &AudienceVoteWindow::onSysCommand);
    setUpWindow();
}

void AudienceVoteWindow::showOnTop()
{
    if (!m_window || m_window->isVisible())
        return;
    m_window->show();
    m_window->activateWindow();
    SetWindowPos(nativeHandle(m_window), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
}

void AudienceVoteWindow::flashTaskbar()
{
    if (!m_window)
        return;
    FLASHWINFO info{};
    info.cbSize = sizeof(FLASHWINFO);
    info.hwnd = nativeHandle(m_window);
    info.dwFlags = FLASHW_TRAY;
    info.uCount = kFlashCount;
    info.dwTimeout = 0;
    FlashWindowEx(&info);
}

void AudienceVoteWindow::onSysCommand(PaneSysCommandRequest* request)
{
    if (request == nullptr)
        return;
    if (request->type() == 0) {
        request->reject();
        return;
    }
    if (request->type() != 2 || !m_window)
        return;
    m_window->setWindowFlags(Qt::Window);
    m_window->setWindowFlags(kFramelessWindow);
    showOnTop();
}

void AudienceVoteWindow::onTimerCount()
{
    if (!m_window)
        return;
    const bool ended = m_countdown.tick();
    if (PaneLabelWidget* timer = find<PaneLabelWidget>(QString::fromLatin1(m_timerLabelName)))
        timer->setText(m_countdown.text());
    if (ended)
        countdownEnded();
}

QString AudienceVoteWindow::image(const QString& file)
{
    return QString::fromUtf8(kImageDir) + file;
}

QFont AudienceVoteWindow::font(const char* family, int pointSize, int weight)
{
    return QFont(QString::fromUtf8(family), pointSize, weight);
}

void AudienceVoteWindow::openHistory()
{
    if (controller)
        controller->onRecordBtnClicked();
}
