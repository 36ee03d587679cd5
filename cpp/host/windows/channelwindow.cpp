#include "host/windows/channelwindow.h"

#include "host/windows/channelstate.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTime>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr quint32 kSubChannelChoices = 5;

const char* const kStyleSheet = R"(
ChannelWindow { background: #f4f6f9; }
QGroupBox { background: #ffffff; border: 1px solid #d7dde5; border-radius: 6px; margin-top: 14px; padding: 8px; }
QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 4px; color: #4a5668; }
QLabel#channelLabel { font-size: 16px; font-weight: bold; color: #1f2d3d; }
QLabel#userLabel, QLabel#roleLabel { color: #4a5668; }
QPushButton#webViewerButton { border: 1px solid #b8cfee; border-radius: 4px; padding: 4px 10px; background: #e8f0fb; color: #1f4f8f; }
QPushButton#webViewerButton:hover { background: #d6e6fa; }
QPushButton#webViewerButton:disabled { border-color: #e1e6ec; background: #f4f6f9; color: #a0aab8; }
QToolButton { border: 1px solid transparent; border-radius: 4px; padding: 4px; }
QToolButton:hover { background: #e8f0fb; border-color: #b8cfee; }
QPlainTextEdit { background: #fbfcfd; border: 1px solid #e1e6ec; color: #38424f; }
)";

QString subChannelText(quint32 id)
{
    return QStringLiteral("子频道 %1").arg(id);
}

} // namespace

ChannelWindow::ChannelWindow(ChannelState* state, QWidget* parent) : QWidget(parent), m_state(state)
{
    setObjectName("channelWindow");
    setStyleSheet(kStyleSheet);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);
    layout->addWidget(buildHeader());
    layout->addWidget(buildSwitchers());
    layout->addWidget(buildAddonBox());
    layout->addWidget(buildStatus(), 1);
    resize(480, 640);

    connect(state, &ChannelState::roleChanged, this, &ChannelWindow::refreshIdentity);
    connect(state, &ChannelState::subChannelChanged, this, [this](quint32 id) {
        selectSubChannel(id);
        refreshIdentity();
    });
    refreshIdentity();
}

QWidget* ChannelWindow::buildHeader()
{
    auto* box = new QGroupBox(QStringLiteral("频道"), this);
    auto* layout = new QVBoxLayout(box);
    m_channelLabel = new QLabel(box);
    m_channelLabel->setObjectName("channelLabel");
    m_userLabel = new QLabel(box);
    m_userLabel->setObjectName("userLabel");
    m_roleLabel = new QLabel(box);
    m_roleLabel->setObjectName("roleLabel");
    layout->addWidget(m_channelLabel);
    layout->addWidget(m_userLabel);
    layout->addWidget(m_roleLabel);
    m_webViewerButton = new QPushButton(QStringLiteral("打开网页投票页"), box);
    m_webViewerButton->setObjectName("webViewerButton");
    m_webViewerButton->setCursor(Qt::PointingHandCursor);
    connect(m_webViewerButton, &QPushButton::clicked, this, &ChannelWindow::webViewerRequested);
    layout->addWidget(m_webViewerButton, 0, Qt::AlignLeft);
    setWebViewerAvailable(false);
    return box;
}

QWidget* ChannelWindow::buildSwitchers()
{
    auto* box = new QGroupBox(QStringLiteral("切换"), this);
    auto* grid = new QGridLayout(box);
    m_subChannelCombo = new QComboBox(box);
    m_subChannelCombo->setObjectName("subChannelCombo");
    for (quint32 id = 1; id <= kSubChannelChoices; ++id)
        m_subChannelCombo->addItem(subChannelText(id), id);
    selectSubChannel(m_state->identity().subChannelId);
    m_roleCombo = new QComboBox(box);
    m_roleCombo->setObjectName("roleCombo");
    for (quint32 role : roles())
        m_roleCombo->addItem(roleName(role), role);
    m_roleCombo->setCurrentIndex(qMax(0, m_roleCombo->findData(m_state->identity().role)));
    if (m_roleCombo->findData(m_state->identity().role) < 0) {
        m_roleCombo->addItem(roleName(m_state->identity().role), m_state->identity().role);
        m_roleCombo->setCurrentIndex(m_roleCombo->count() - 1);
    }
    grid->addWidget(new QLabel(QStringLiteral("子频道"), box), 0, 0);
    grid->addWidget(m_subChannelCombo, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("身份"), box), 1, 0);
    grid->addWidget(m_roleCombo, 1, 1);
    grid->setColumnStretch(1, 1);

    connect(m_subChannelCombo, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { m_state->setSubChannelId(m_subChannelCombo->itemData(index).toUInt()); });
    connect(m_roleCombo, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int index) { m_state->setRole(m_roleCombo->itemData(index).toUInt()); });
    return box;
}

QWidget* ChannelWindow::buildAddonBox()
{
    auto* box = new QGroupBox(QStringLiteral("应用"), this);
    auto* outer = new QVBoxLayout(box);
    m_addonBox = new QFrame(box);
    m_addonBox->setObjectName("addonBox");
    m_addonBox->setMinimumHeight(72);
    m_addonLayout = new QHBoxLayout(m_addonBox);
    m_addonLayout->setContentsMargins(4, 4, 4, 4);
    m_addonPlaceholder = new QLabel(QStringLiteral("应用加载中…"), m_addonBox);
    m_addonPlaceholder->setObjectName("addonPlaceholder");
    m_addonPlaceholder->setStyleSheet("color: #8a96a8;");
    m_addonLayout->addWidget(m_addonPlaceholder);
    m_addonLayout->addStretch(1);
    outer->addWidget(m_addonBox);
    return box;
}

QWidget* ChannelWindow::buildStatus()
{
    auto* box = new QGroupBox(QStringLiteral("状态"), this);
    auto* layout = new QVBoxLayout(box);
    m_connectionLabel = new QLabel(box);
    m_connectionLabel->setObjectName("connectionLabel");
    m_connectionLabel->setWordWrap(true); // a refusal's reason may be long; the window keeps its width
    m_eventLog = new QPlainTextEdit(box);
    m_eventLog->setObjectName("eventLog");
    m_eventLog->setReadOnly(true);
    m_eventLog->setMaximumBlockCount(kMaxLogLines);
    layout->addWidget(m_connectionLabel);
    layout->addWidget(m_eventLog, 1);
    followNewestEvents();
    setConnectionState(false, QStringLiteral("连接中"));
    return box;
}

// The log stays at its newest line, also when lines wrap or the box shrinks, until the reader
// scrolls up; scrolling back to the end follows again.
void ChannelWindow::followNewestEvents()
{
    QScrollBar* bar = m_eventLog->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this,
            [this, bar](int value) { m_followEvents = value == bar->maximum(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (m_followEvents)
            bar->setValue(maximum);
    });
}

QToolButton* ChannelWindow::addAddonButton(const QString& objectName)
{
    m_addonPlaceholder->hide();
    auto* button = new QToolButton(m_addonBox);
    button->setObjectName(objectName);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setIconSize(QSize(32, 32));
    button->setAutoRaise(true);
    m_addonLayout->insertWidget(m_addonLayout->count() - 1, button);
    return button;
}

void ChannelWindow::removeAddonButton(QToolButton* button)
{
    m_addonLayout->removeWidget(button);
    button->deleteLater();
    if (m_addonLayout->count() <= 2)
        m_addonPlaceholder->show();
}

void ChannelWindow::setAddonFailed(const QString& reason)
{
    m_addonPlaceholder->setText(QStringLiteral("<b>应用加载失败</b><br>%1").arg(reason.toHtmlEscaped()));
    m_addonPlaceholder->setStyleSheet("color: #c0392b;");
    m_addonPlaceholder->setWordWrap(true);
    m_addonPlaceholder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_addonPlaceholder->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_addonPlaceholder->setToolTip(reason);
    m_addonLayout->setStretchFactor(m_addonPlaceholder, 10);
    m_addonPlaceholder->show();
}

void ChannelWindow::setConnectionState(bool connected, const QString& detail)
{
    showConnection(connected, connected ? QStringLiteral("投票服务已连接") : QStringLiteral("投票服务未连接"),
                   detail);
}

void ChannelWindow::setConnectionRefused(const QString& reason, bool retrying)
{
    showConnection(false, QStringLiteral("投票服务拒绝连接"),
                   reason + (retrying ? QStringLiteral(" · 稍后重试") : QStringLiteral(" · 不再重试")));
}

void ChannelWindow::setServiceUntrusted(const QString& reason)
{
    showConnection(false, QStringLiteral("投票服务的证书不可信："), reason + QStringLiteral(" · 不再重试"));
}

void ChannelWindow::showConnection(bool connected, const QString& state, const QString& detail)
{
    const QString dot = connected ? "#2e9d4f" : "#c0392b";
    m_connectionLabel->setText(
        QStringLiteral("<span style='color:%1'>●</span> %2 <span style='color:#8a96a8'>%3</span>")
            .arg(dot, state, detail.toHtmlEscaped()));
    m_connectionLabel->setProperty("connected", connected);
}

void ChannelWindow::fixRoleByToken()
{
    m_roleCombo->setEnabled(false);
    m_roleCombo->setToolTip(QStringLiteral("身份由令牌决定，不能在此切换"));
}

void ChannelWindow::setWebViewerAvailable(bool available)
{
    m_webViewerButton->setEnabled(available);
    m_webViewerButton->setToolTip(
        available ? QStringLiteral("在浏览器中打开本人的网页投票页（链接含本人的令牌，请勿转发）")
                  : QStringLiteral("未设置投票服务的网页地址（启动时加 --web-url），无法打开网页投票页"));
}

void ChannelWindow::logEvent(const QString& text)
{
    m_eventLog->appendPlainText(
        QStringLiteral("%1  %2").arg(QTime::currentTime().toString("HH:mm:ss"), text));
}

QStringList ChannelWindow::eventLines() const
{
    return m_eventLog->toPlainText().split('\n', Qt::SkipEmptyParts);
}

QList<quint32> ChannelWindow::roles()
{
    return {255, 230, 200, 175, 150, kViewerRole};
}

QString ChannelWindow::roleName(quint32 role)
{
    switch (role) {
    case 255:
        return QStringLiteral("频道所有者 (255)");
    case 230:
        return QStringLiteral("频道总管理 (230)");
    case 200:
        return QStringLiteral("频道管理员 (200)");
    case 175:
        return QStringLiteral("子频道管理员 (175)");
    case 150:
        return QStringLiteral("子频道嘉宾 (150)");
    case kViewerRole:
        return QStringLiteral("观众 (20)");
    default:
        return QStringLiteral("角色 %1").arg(role);
    }
}

QString ChannelWindow::titleFor(const HostIdentity& identity)
{
    return QStringLiteral("tovo-host - 频道 %1 - %2 (%3)")
        .arg(identity.channelId)
        .arg(identity.nick)
        .arg(identity.role);
}

void ChannelWindow::refreshIdentity()
{
    const HostIdentity& id = m_state->identity();
    setWindowTitle(titleFor(id));
    m_channelLabel->setText(
        QStringLiteral("频道 %1 · %2").arg(id.channelId).arg(subChannelText(id.subChannelId)));
    m_userLabel->setText(QStringLiteral("%1（%2）").arg(id.nick).arg(id.imid));
    m_roleLabel->setText(QStringLiteral("身份：%1 · %2")
                             .arg(roleName(id.role), ChannelState::isManagerRole(id.role)
                                                         ? QStringLiteral("可管理投票")
                                                         : QStringLiteral("观看")));
    const int roleIndex = m_roleCombo->findData(id.role);
    if (roleIndex >= 0 && roleIndex != m_roleCombo->currentIndex())
        m_roleCombo->setCurrentIndex(roleIndex);
}

void ChannelWindow::selectSubChannel(quint32 subChannelId)
{
    int index = m_subChannelCombo->findData(subChannelId);
    if (index < 0) {
        m_subChannelCombo->addItem(subChannelText(subChannelId), subChannelId);
        index = m_subChannelCombo->count() - 1;
    }
    m_subChannelCombo->setCurrentIndex(index);
}

void ChannelWindow::closeEvent(QCloseEvent* event)
{
    if (!m_closing) {
        m_closing = true;
        emit closeRequested();
    }
    event->accept();
}
