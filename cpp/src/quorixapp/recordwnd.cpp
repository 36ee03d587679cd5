#include "src/quorixapp/recordwnd.h"

#include "src/quorixapp/quorixcontroller.h"
#include "src/quorixapp/quorixpanelistctrl.h"
#include "src/quorixapp/quorixrecordrows.h"
#include "src/quorixapp/quorixwindowloader.h"

#include <panefind.h>
#include <paneframewindow.h>
#include <panelabelwidget.h>
#include <panepushbutton.h>

namespace {
const char* const kLayoutPath = ":/layout/theme/quorix/layout/record.xml";
}

recordWnd::recordWnd() = default;

recordWnd::~recordWnd()
{
    unInit();
}

void recordWnd::init(QuorixController* controller)
{
    m_pController = controller;
    if (m_pWindow)
        return;
    PaneFrameWindow* window = QuorixWindowLoader::createWindow(QString::fromLatin1(kLayoutPath));
    if (!window)
        return;
    QuorixWindowLoader::prepareWindow(window, QStringLiteral("投票记录"));
    m_pWindow = window;
    if (auto* label = panefw::findChild<PaneLabelWidget>(window, QStringLiteral("labeltext"))) {
        QFont font(QStringLiteral("宋体"));
        font.setPointSize(10);
        font.setWeight(QFont::Normal);
        label->setFont(font);
        label->setTextColor(QColor(255, 255, 255));
    }
    if (auto* list = panefw::findChild<QuorixPaneListCtrl>(window, QStringLiteral("voteRecordListCtrl")))
        connect(list, SIGNAL(rowPressed(int)), this, SLOT(onRecordListRowPressed(int)), Qt::UniqueConnection);
    if (auto* close = panefw::findChild<PanePushButton>(window, QStringLiteral("closeBtn")))
        connect(close, SIGNAL(clicked()), this, SLOT(onCloseBtnClicked()), Qt::UniqueConnection);
}

void recordWnd::unInit()
{
    if (m_pWindow) {
        m_pWindow->disconnect(this);
        delete m_pWindow.data();
    }
    m_pWindow = nullptr;
}

PaneFrameWindow* recordWnd::window() const
{
    return m_pWindow;
}

void recordWnd::showWindow()
{
    if (!m_pWindow || m_pWindow->isVisible())
        return;
    m_pWindow->show();
    m_pWindow->activateWindow();
}

void recordWnd::onCloseBtnClicked()
{
    if (m_pWindow)
        m_pWindow->hide();
}

void recordWnd::refreshRecordList()
{
    if (!m_pController || !m_pWindow)
        return;
    QuorixRecordRows::fill(
        panefw::findChild<QuorixPaneListCtrl>(m_pWindow.data(), QStringLiteral("voteRecordListCtrl")),
        m_pController->history());
}

void recordWnd::onRecordListRowPressed(int row)
{
    if (!m_pWindow)
        return;
    QuorixRecordRows::toggle(
        panefw::findChild<QuorixPaneListCtrl>(m_pWindow.data(), QStringLiteral("voteRecordListCtrl")), row,
        m_pController ? &m_pController->history() : nullptr);
}
