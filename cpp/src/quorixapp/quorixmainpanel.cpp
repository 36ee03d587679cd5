#include "quorixmainpanel.h"

#include "judgelistctrl.h"
#include "panelistctrrowwidget.h"
#include "quorixapp.h"
#include "quorixcontroller.h"
#include "quorixlog.h"
#include "quorixpanelistctrl.h"
#include "quorixrecordrows.h"
#include "quorixwindowloader.h"

#include <panecheckbox.h>
#include <panecombobox.h>
#include <panefind.h>
#include <paneframewindow.h>
#include <panelabelwidget.h>
#include <panelineedit.h>
#include <panemessagebox.h>
#include <panepushbutton.h>
#include <panescrollarea.h>
#include <panespaceritem.h>
#include <panestackedwidget.h>
#include <panewidget.h>

#include <QGraphicsScene>
#include <QGraphicsWidget>
#include <QMenu>
#include <QVariantMap>

namespace {

const char* const kLayoutPath = ":/layout/theme/quorix/layout/voteMrg.xml";
const char* const kImageDir = ":/image/theme/quorix/image/";
const int kVoteIdKey = 999;
const qreal kRowHeight = 30;
const QColor kLinkColor(0, 113, 192);
const QColor kGreyColor(153, 153, 153);

const char* const kStartText = "开启";
const char* const kStopText = "停止";
const char* const kCloseText = "关闭";

const char* const kServiceDownText = "投票服务未连接，恢复前不能保存或开始投票";
const char* const kServiceDownTip = "投票服务未连接";
// Actions that send a request and so need the vote service; the judge link and the row links are
// handled with their own state.
const char* const kServiceActions[] = {"startNormalVoteBtn",      "startGroupVoteBtn",
                                       "startJudgeVoteBtn",       "voteListAddNormalVoteLable",
                                       "addGroupVoteListLable",   "voteListAddJudgeVoteLable",
                                       "voteListBatchDeleteLabel"};
const char* const kStartButtons[] = {"startNormalVoteBtn", "startGroupVoteBtn", "startJudgeVoteBtn"};

const char* const kPageNames[] = {"mainWinPage",          "voteListPage",        "voteRecordPage",
                                  "createNormalVotePage", "createGroupVotePage", "createJudgeVotePage"};

// Counters for the names of added option rows, one for normal rows and one shared by both team
// lists; names are never reused while the process runs.
int s_normalRowCounter = 2;
int s_groupRowCounter = 2;

enum OptionListId
{
    NormalList,
    GroupAList,
    GroupBList
};

QString image(const char* file)
{
    return QString::fromLatin1(kImageDir) + QString::fromLatin1(file);
}

QString checkBoxImages()
{
    const char* files[] = {"check_02.png", "check_02.png", "check_01.png", "check_01.png",
                           "check_01.png", "check_01.png", "check_02.png", "check_01.png"};
    QStringList paths;
    for (const char* f : files)
        paths << image(f);
    return paths.join('|');
}

QString comboText(PaneComboBox* box)
{
    if (!box)
        return QString();
    if (PaneLineEdit* edit = box->lineEdit())
        return edit->text();
    return box->currentText();
}

void setComboText(PaneComboBox* box, const QString& text)
{
    if (!box)
        return;
    if (PaneLineEdit* edit = box->lineEdit())
        edit->setText(text);
}

quint32 toU32(const QString& text)
{
    bool ok = false;
    const quint32 value = text.toUInt(&ok);
    return ok ? value : 0;
}

QString fromUtf8(const std::string& text)
{
    return QString::fromStdString(text);
}

QString rowLabelText(int index)
{
    return QString::number(index + 1);
}

PaneLabelWidget* makeRowLink(const QString& text, const char* name, QGraphicsItem* parent)
{
    auto* label = new PaneLabelWidget(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setText(text);
    label->setTextColor(kLinkColor);
    label->setAcceptClick(true);
    label->setUnderlineOnHover(true);
    label->setFixWidth(35);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    return label;
}

void setLinkActive(PaneLabelWidget* label, bool active)
{
    if (!label)
        return;
    label->setTextColor(active ? kLinkColor : kGreyColor);
    label->setAcceptClick(active);
}

} // namespace

QuorixMainPanel::QuorixMainPanel() = default;

QuorixMainPanel::~QuorixMainPanel()
{
    unInit();
}

// ---------------------------------------------------------------------------------------------
// Window, pages and navigation

void QuorixMainPanel::init(QuorixController* controller)
{
    m_pController = controller;
    if (m_pWindow)
        return;
    if (!buildWindow())
        return;
    initMainPage();
    initVoteListPage();
    initVoteRecordPage();
    initEditors();
    applyServiceState();
}

bool QuorixMainPanel::buildWindow()
{
    PaneFrameWindow* window = QuorixWindowLoader::createWindow(QString::fromLatin1(kLayoutPath));
    if (!window)
        return false;
    QuorixWindowLoader::prepareWindow(window, QStringLiteral("频道投票设置"));
    m_pWindow = window;
    auto* stacked = find<PaneStackedWidget>("stackedWidget");
    if (stacked && stacked->count() > 0) {
        m_pStackedWidget = stacked;
        stacked->setCurrentIndex(MainPage);
    }
    return true;
}

void QuorixMainPanel::unInit()
{
    m_startMapper.disconnect();
    m_editMapper.disconnect();
    m_deleteMapper.disconnect();
    delete m_pJudgeListCtrl;
    m_pJudgeListCtrl = nullptr;
    if (m_pWindow) {
        m_pWindow->disconnect(this);
        delete m_pWindow.data();
    }
    m_pWindow = nullptr;
}

PaneFrameWindow* QuorixMainPanel::window() const
{
    return m_pWindow;
}

int QuorixMainPanel::currentPage() const
{
    return m_pStackedWidget ? m_pStackedWidget->currentIndex() : -1;
}

quint32 QuorixMainPanel::editId(int kind) const
{
    switch (kind) {
    case quorix::kNormalVote:
        return normalEditId;
    case quorix::kGroupVote:
        return groupEditId;
    case quorix::kJudgeVote:
        return judgeEditId;
    default:
        return 0;
    }
}

template <class T> T* QuorixMainPanel::find(const char* name) const
{
    if (!m_pWindow)
        return nullptr;
    return panefw::findChild<T>(m_pWindow.data(), QString::fromLatin1(name));
}

PaneWidget* QuorixMainPanel::page(int index) const
{
    if (index < 0 || index >= int(std::size(kPageNames)))
        return nullptr;
    return find<PaneWidget>(kPageNames[index]);
}

template <class T> T* QuorixMainPanel::findInPage(int index, const char* name) const
{
    PaneWidget* p = page(index);
    return p ? panefw::findChild<T>(p, QString::fromLatin1(name)) : nullptr;
}

void QuorixMainPanel::showWindow()
{
    if (!m_pWindow)
        return;
    m_pWindow->show();
    m_pWindow->activateWindow();
}

void QuorixMainPanel::showVoteListPage()
{
    if (m_pWindow)
        setPage(VoteListPage);
}

void QuorixMainPanel::setPage(int index)
{
    if (m_pStackedWidget && index < m_pStackedWidget->count())
        m_pStackedWidget->setCurrentIndex(index);
}

void QuorixMainPanel::setVoteNumber(const QString& text)
{
    if (auto* label = find<PaneLabelWidget>("voteNumberLabel"))
        label->setText(text);
}

void QuorixMainPanel::setVoteListVoteNumber(const QString& text)
{
    if (auto* label = find<PaneLabelWidget>("voteListVoteNumberLabel"))
        label->setText(text);
}

void QuorixMainPanel::onMainCloseBtnClicked()
{
    if (m_pWindow)
        m_pWindow->hide();
}

void QuorixMainPanel::onMainMinBtnClicked()
{
    if (m_pWindow)
        m_pWindow->showMinimized();
}

void QuorixMainPanel::switchToMainWin()
{
    setPage(MainPage);
}

void QuorixMainPanel::onVoteListLabelClicked()
{
    setPage(VoteListPage);
}

void QuorixMainPanel::onMainWinVoteRecordLabelClicked()
{
    setPage(VoteRecordPage);
    if (m_pController)
        m_pController->reqQueryVoteHisRecord();
}

void QuorixMainPanel::onMainPageSwitchBtnClicked()
{
    QObject* button = sender();
    if (!button || !m_pWindow)
        return;
    if (button == find<PanePushButton>("nomalVote")) {
        normalEditId = 0;
        onCreateComboBoxClicked(quorix::kNormalVote);
    } else if (button == find<PanePushButton>("groupVote")) {
        groupEditId = 0;
        onCreateComboBoxClicked(quorix::kGroupVote);
    } else if (button == find<PanePushButton>("judgeVote")) {
        judgeEditId = 0;
        onCreateComboBoxClicked(quorix::kJudgeVote);
    }
}

void QuorixMainPanel::newEditNormalVote()
{
    normalEditId = 0;
    onCreateComboBoxClicked(quorix::kNormalVote);
}

void QuorixMainPanel::onCreateComboBoxClicked(int index)
{
    if (!m_pWindow || index < 0 || index > int(quorix::kJudgeVote))
        return;
    setPage(index + NormalEditorPage);
    const QByteArray name = "createComboBox" + QByteArray::number(index);
    if (auto* box = findInPage<PaneComboBox>(index + NormalEditorPage, name.constData())) {
        // Programmatic index changes are not reported, so the edit id set by opening a stored
        // vote survives.
        box->setCurrentIndex(index);
    }
}

void QuorixMainPanel::newEditVote(int index)
{
    const QString name = sender() ? sender()->objectName() : QString();
    if (name == QLatin1String("createComboBox2"))
        judgeEditId = 0;
    else if (name == QLatin1String("createComboBox1"))
        groupEditId = 0;
    else
        normalEditId = 0;
    onCreateComboBoxClicked(index);
}

void QuorixMainPanel::initMainPage()
{
    if (auto* label = find<PaneLabelWidget>("voteListLabel")) {
        if (connect(label, SIGNAL(clicked()), this, SLOT(onVoteListLabelClicked())))
            QLOG(2) << "voteListLabel connect ok .";
    }
    if (auto* label = find<PaneLabelWidget>("mainWinVoteRecordLabel")) {
        if (connect(label, SIGNAL(clicked()), this, SLOT(onMainWinVoteRecordLabelClicked())))
            QLOG(2) << "mainWinVoteRecordLabel connect ok .";
    }
    if (auto* label = find<PaneLabelWidget>("voteNumberLabel")) {
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(18);
        label->setFont(font);
    }
    if (auto* close = find<PanePushButton>("closeBtn"))
        connect(close, SIGNAL(clicked()), this, SLOT(onMainCloseBtnClicked()), Qt::UniqueConnection);
    for (const char* name : {"nomalVote", "groupVote", "judgeVote"}) {
        if (auto* button = find<PanePushButton>(name))
            connect(button, SIGNAL(clicked()), this, SLOT(onMainPageSwitchBtnClicked()));
    }
}

// ---------------------------------------------------------------------------------------------
// Vote list page

void QuorixMainPanel::initVoteListPage()
{
    if (auto* label = find<PaneLabelWidget>("voteListVoteNumberLabel")) {
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(18);
        label->setFont(font);
        QLOG(2) << "set the font of voteListVoteNumberLabel";
    }
    if (auto* back = find<PanePushButton>("voteListMainBtn")) {
        if (connect(back, SIGNAL(clicked()), this, SLOT(switchToMainWin()), Qt::UniqueConnection))
            QLOG(2) << "connect voteListMainBtn successfullly";
    }
    if (auto* list = find<QuorixPaneListCtrl>("voteListCtrl")) {
        list->setSelectable(true);
        connect(list, SIGNAL(rowActived(int)), this, SLOT(showRowButtons(int)), Qt::UniqueConnection);
        connect(list, SIGNAL(rowUnActived(int)), this, SLOT(hideRowButtons(int)), Qt::UniqueConnection);
        connect(list, SIGNAL(rowSelected(int)), this, SLOT(onRowSelected(int)), Qt::UniqueConnection);
    }
    if (auto* checkAll = find<PaneCheckBox>("voteListCheckAll"))
        connect(checkAll, SIGNAL(stateSelected(bool)), this, SLOT(onVoteListCheckAll(bool)),
                Qt::UniqueConnection);
    if (auto* batch = find<PaneLabelWidget>("voteListBatchDeleteLabel")) {
        if (connect(batch, SIGNAL(clicked()), this, SLOT(onVoteListBatchDeleteLabelClicked()),
                    Qt::UniqueConnection))
            QLOG(2) << "connect onVoteListBatchDeleteLabelClicked successfullly";
    }
    if (auto* create = find<PanePushButton>("voteListBottomCreateVoteBtn"))
        connect(create, SIGNAL(clicked()), this, SLOT(newEditNormalVote()), Qt::UniqueConnection);
    connect(&m_startMapper, &QSignalMapper::mappedInt, this, &QuorixMainPanel::onRowStartLabelClicked,
            Qt::UniqueConnection);
    connect(&m_editMapper, &QSignalMapper::mappedInt, this, &QuorixMainPanel::onRowEditLabelClicked,
            Qt::UniqueConnection);
    connect(&m_deleteMapper, &QSignalMapper::mappedInt, this, &QuorixMainPanel::onRowDeleteLabelClicked,
            Qt::UniqueConnection);
}

void QuorixMainPanel::refreshVoteList()
{
    if (!m_pController || !m_pWindow)
        return;
    if (auto* checkAll = find<PaneCheckBox>("voteListCheckAll"))
        checkAll->setCheckState(Qt::Unchecked);
    auto* list = find<QuorixPaneListCtrl>("voteListCtrl");
    if (!list)
        return;
    list->clearRows();
    const quorix::VoteList& votes = m_pController->votes();
    for (int n = 0; n < int(votes.size()); ++n)
        addVoteRow(n, votes[n]);
    applyServiceStateToRows();
}

void QuorixMainPanel::addVoteRow(int index, const quorix::VoteInfo& vote)
{
    auto* list = find<QuorixPaneListCtrl>("voteListCtrl");
    PaneListCtrRowWidget* row = list ? list->insertRow(index, kRowHeight) : nullptr;
    if (!row)
        return;
    const QString hover = image("line_hover_bg.png");
    row->setRowImages(QString(), QString(), hover, hover);
    row->setData(kVoteIdKey, vote.voteId);

    auto* check = new PaneCheckBox(row);
    check->setObjectName(QStringLiteral("CHECK_BOX"));
    check->setColorizePolicy(1);
    check->setImagePath(checkBoxImages());
    connect(check, SIGNAL(stateSelected(bool)), this, SLOT(onRowCheckBoxSelected(bool)));
    list->placeInRow(index, check, QRectF(19, 4, 16, 18));

    auto* name = new PaneLabelWidget(row);
    name->setText(fromUtf8(vote.name));
    name->setTextColor(QColor(51, 51, 51));
    name->setFixWidth(336);
    list->placeInRow(index, name, QRectF(44, 4, 336, 18));

    auto* box = new PaneWidget(row);
    box->setObjectName(QStringLiteral("ROW_HLAYOUT"));
    box->setLayout(PaneWidget::HBox);
    box->setFixWidth(130);
    const int id = int(vote.voteId);
    const struct
    {
        const char* text;
        const char* name;
        QSignalMapper* mapper;
    } links[] = {{kStartText, "START_LABEL", &m_startMapper},
                 {"编辑", "EDITE_LABEL", &m_editMapper},
                 {"删除", "DELETE_LABEL", &m_deleteMapper}};
    box->addItem(new PaneSpacerItem(box));
    for (const auto& link : links) {
        PaneLabelWidget* label = makeRowLink(QString::fromUtf8(link.text), link.name, box);
        box->addItem(label);
        box->addItem(new PaneSpacerItem(box));
        connect(label, SIGNAL(clicked()), link.mapper, SLOT(map()));
        link.mapper->setMapping(label, id);
    }
    list->placeInRow(index, box, QRectF(370, 4, 130, 18));
    box->hide();
}

int QuorixMainPanel::findVoteRow(quint32 voteId) const
{
    auto* list = find<QuorixPaneListCtrl>("voteListCtrl");
    if (!list)
        return -1;
    for (int i = 0; i < list->rowCount(); ++i) {
        bool ok = false;
        const quint32 id = list->rowWidget(i)->data(kVoteIdKey).toUInt(&ok);
        if (ok && id == voteId)
            return i;
    }
    return -1;
}

const quorix::VoteInfo* QuorixMainPanel::findVote(quint32 voteId) const
{
    if (!m_pController)
        return nullptr;
    for (const quorix::VoteInfo& vote : m_pController->votes()) {
        if (vote.voteId == voteId)
            return &vote;
    }
    return nullptr;
}

void QuorixMainPanel::markVoteStarted(quint32 voteId)
{
    markVoteRows(voteId, QString::fromUtf8(kStopText));
}

void QuorixMainPanel::markVoteStopped(quint32 voteId)
{
    markVoteRows(voteId, QString::fromUtf8(kCloseText));
}

void QuorixMainPanel::markVoteRows(quint32 voteId, const QString& startText)
{
    auto* list = find<QuorixPaneListCtrl>("voteListCtrl");
    if (voteId == 0 || !m_pWindow || !list)
        return;
    for (int i = 0; i < list->rowCount(); ++i) {
        auto* start = dynamic_cast<PaneLabelWidget*>(list->findInRow(i, QStringLiteral("START_LABEL")));
        if (list->rowWidget(i)->data(kVoteIdKey).toUInt() != voteId) {
            setLinkActive(start, false);
            continue;
        }
        if (PaneWidget* box = list->findInRow(i, QStringLiteral("ROW_HLAYOUT")))
            box->show();
        if (start)
            start->setText(startText);
        setLinkActive(dynamic_cast<PaneLabelWidget*>(list->findInRow(i, QStringLiteral("EDITE_LABEL"))),
                      false);
        setLinkActive(dynamic_cast<PaneLabelWidget*>(list->findInRow(i, QStringLiteral("DELETE_LABEL"))),
                      false);
    }
}

void QuorixMainPanel::resetVoteRows()
{
    auto* list = find<QuorixPaneListCtrl>("voteListCtrl");
    if (!list)
        return;
    for (int i = 0; i < list->rowCount(); ++i) {
        auto* start = dynamic_cast<PaneLabelWidget*>(list->findInRow(i, QStringLiteral("START_LABEL")));
        if (start)
            start->setText(QString::fromUtf8(kStartText));
        setLinkActive(start, true);
        setLinkActive(dynamic_cast<PaneLabelWidget*>(list->findInRow(i, QStringLiteral("EDITE_LABEL"))),
                      true);
        setLinkActive(dynamic_cast<PaneLabelWidget*>(list->findInRow(i, QStringLiteral("DELETE_LABEL"))),
                      true);
    }
}

void QuorixMainPanel::showRowButtons(int row)
{
    auto* list = find<QuorixPaneListCtrl>("voteListCtrl");
    if (PaneWidget* box = list ? list->findInRow(row, QStringLiteral("ROW_HLAYOUT")) : nullptr)
        box->show();
}

void QuorixMainPanel::hideRowButtons(int row)
{
    auto* list = find<QuorixPaneListCtrl>("voteListCtrl");
    PaneWidget* box = list ? list->findInRow(row, QStringLiteral("ROW_HLAYOUT")) : nullptr;
    if (!box)
        return;
    auto* start = dynamic_cast<PaneLabelWidget*>(list->findInRow(row, QStringLiteral("START_LABEL")));
    const QString state = start ? start->text() : QString();
    if (state == QString::fromUtf8(kStopText) || state == QString::fromUtf8(kCloseText))
        return;
    box->hide();
}

void QuorixMainPanel::onRowSelected(int row)
{
    auto* list = find<QuorixPaneListCtrl>("voteListCtrl");
    if (!list)
        return;
    for (int i = 0; i < list->rowCount(); ++i) {
        if (i == row)
            continue;
        list->unhighlightRow(i);
        hideRowButtons(i);
    }
}

void QuorixMainPanel::onVoteListCheckAll(bool checked)
{
    auto* list = find<QuorixPaneListCtrl>("voteListCtrl");
    if (!list)
        return;
    for (int i = 0; i < list->rowCount(); ++i) {
        if (auto* check = dynamic_cast<PaneCheckBox*>(list->findInRow(i, QStringLiteral("CHECK_BOX"))))
            check->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    }
}

void QuorixMainPanel::onRowCheckBoxSelected(bool checked)
{
    auto* list = find<QuorixPaneListCtrl>("voteListCtrl");
    auto* checkAll = find<PaneCheckBox>("voteListCheckAll");
    if (!list || !checkAll)
        return;
    if (checked) {
        for (int i = 0; i < list->rowCount(); ++i) {
            auto* check = dynamic_cast<PaneCheckBox*>(list->findInRow(i, QStringLiteral("CHECK_BOX")));
            if (check && check->checkState() == Qt::Unchecked)
                return;
        }
    }
    checkAll->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void QuorixMainPanel::onRowStartLabelClicked(int voteId)
{
    const quint32 id = quint32(voteId);
    QLOG(2) << " StartLabel is clicked, voteId is " << id << ". and id is " << id;
    auto* list = find<QuorixPaneListCtrl>("voteListCtrl");
    if (!m_pController || !m_pWindow || !list)
        return;
    const int row = findVoteRow(id);
    if (row < 0)
        return;
    list->selectRow(row);
    auto* start = dynamic_cast<PaneLabelWidget*>(list->findInRow(row, QStringLiteral("START_LABEL")));
    const QString state = start ? start->text() : QString();
    if (state == QString::fromUtf8(kStartText))
        m_pController->reqStartVote(id);
    else if (state == QString::fromUtf8(kStopText))
        m_pController->reqEndVote(id);
    else
        m_pController->reqCloseVote(id);
}

void QuorixMainPanel::onRowDeleteLabelClicked(int voteId)
{
    const quint32 id = quint32(voteId);
    if (!m_pController || id == 0)
        return;
    const quorix::VoteInfo* vote = findVote(id);
    if (!vote)
        return;
    QLOG(2) << " Delete Label is clicked, vote id is " << id << ". and id is " << id << ". voteType is "
            << vote->voteType;
    m_pController->reqDeleteVote(id, vote->voteType);
}

void QuorixMainPanel::onVoteListBatchDeleteLabelClicked()
{
    auto* list = find<QuorixPaneListCtrl>("voteListCtrl");
    if (!m_pController || !list)
        return;
    QMap<quint32, quint32> selection;
    for (int i = 0; i < list->rowCount(); ++i) {
        auto* check = dynamic_cast<PaneCheckBox*>(list->findInRow(i, QStringLiteral("CHECK_BOX")));
        auto* remove = dynamic_cast<PaneLabelWidget*>(list->findInRow(i, QStringLiteral("DELETE_LABEL")));
        if (!check || check->checkState() == Qt::Unchecked || !remove || !remove->acceptClick())
            continue;
        bool ok = false;
        const quint32 id = list->rowWidget(i)->data(kVoteIdKey).toUInt(&ok);
        const quorix::VoteInfo* vote = ok ? findVote(id) : nullptr;
        if (vote)
            selection.insert(id, vote->voteType);
    }
    m_pController->reqBatchDeleteVote(selection);
}

// ---------------------------------------------------------------------------------------------
// History page

void QuorixMainPanel::initVoteRecordPage()
{
    if (auto* label = find<PaneLabelWidget>("voteRecordVotedayLabel")) {
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(14);
        font.setBold(true);
        label->setFont(font);
    }
    if (auto* back = find<PanePushButton>("voteRecordMainBtn")) {
        if (connect(back, SIGNAL(clicked()), this, SLOT(switchToMainWin()), Qt::UniqueConnection))
            QLOG(2) << "connect voteRecordMainBtn successfullly";
    }
    if (auto* create = find<PanePushButton>("voteRecordBottomCreateVoteBtn")) {
        if (connect(create, SIGNAL(clicked()), this, SLOT(newEditNormalVote()), Qt::UniqueConnection))
            QLOG(2) << "connect voteRecordMainBtn successfullly";
    }
    if (auto* list = find<QuorixPaneListCtrl>("voteRecordListCtrl"))
        connect(list, SIGNAL(rowPressed(int)), this, SLOT(onRecordListRowPressed(int)), Qt::UniqueConnection);
}

void QuorixMainPanel::refreshRecordList()
{
    if (!m_pController || !m_pWindow)
        return;
    QuorixRecordRows::fill(find<QuorixPaneListCtrl>("voteRecordListCtrl"), m_pController->history());
}

void QuorixMainPanel::onRecordListRowPressed(int row)
{
    if (!m_pWindow)
        return;
    const quorix::PQueryVoteHisRecordRes* history = m_pController ? &m_pController->history() : nullptr;
    QuorixRecordRows::toggle(find<QuorixPaneListCtrl>("voteRecordListCtrl"), row, history);
}

// ---------------------------------------------------------------------------------------------
// Editors: set-up

void QuorixMainPanel::initEditors()
{
    initEditorCommon(quorix::kNormalVote, "createNormalVoteMainBtn", "voteListAddNormalVoteLable");
    initEditorCommon(quorix::kGroupVote, "createGroupVoteMainBtn", "addGroupVoteListLable");
    initEditorCommon(quorix::kJudgeVote, "createJudgeVoteMainBtn", "voteListAddJudgeVoteLable");

    const struct
    {
        const char* link;
        const char* slot;
    } adds[] = {{"addNormalOptionBtn", SLOT(onAddNormalClicked())},
                {"addAGroupOptionBtn", SLOT(onAddAGruopOption())},
                {"addBGroupOptionBtn", SLOT(onAddBGruopOption())},
                {"lableJudge", SLOT(onAddJudgeClicked())}};
    for (const auto& add : adds) {
        if (auto* link = find<PaneLabelWidget>(add.link))
            connect(link, SIGNAL(clicked()), this, add.slot, Qt::UniqueConnection);
    }

    normalOptionRows = QStringList{QStringLiteral("optionBox1")};
    groupARows = normalOptionRows;
    groupBRows = normalOptionRows;
    initTicketBoxes(page(NormalEditorPage), "LimitTime");
    initTicketBoxes(page(GroupEditorPage), "limitTime");

    if (auto* time = findInPage<PaneComboBox>(JudgeEditorPage, "LimitTime")) {
        time->setCurrentIndex(2);
        if (PaneLineEdit* edit = time->lineEdit())
            edit->setValidator(QRegExp(QStringLiteral("^\\d{1,4}$")));
    }
    if (auto* list = findInPage<QuorixPaneListCtrl>(JudgeEditorPage, "judgeListCtrl")) {
        list->setSelectable(true);
        // A window closed by the window system deletes itself; the next init builds a new one.
        delete m_pJudgeListCtrl;
        m_pJudgeListCtrl = new JudgeListCtrl(list);
        connect(m_pJudgeListCtrl, &JudgeListCtrl::removeItem, this, &QuorixMainPanel::onJudgeDeleteClicked,
                Qt::UniqueConnection);
    }
}

void QuorixMainPanel::initEditorCommon(int kind, const char* backBtn, const char* addToListLink)
{
    const int pageIndex = kind + NormalEditorPage;
    const QByteArray comboName = "createComboBox" + QByteArray::number(kind);
    if (auto* combo = findInPage<PaneComboBox>(pageIndex, comboName.constData())) {
        QList<QVariantMap> items;
        for (const char* text : {"新增普通投票", "新增对战投票", "新增评委投票"})
            items << QVariantMap{{QStringLiteral("text"), QString::fromUtf8(text)}};
        combo->setData(items);
        combo->setCurrentIndex(0);
        connect(combo, SIGNAL(currentIndexChanged(int)), this, SLOT(newEditVote(int)), Qt::UniqueConnection);
    }
    if (auto* back = findInPage<PanePushButton>(pageIndex, backBtn))
        connect(back, SIGNAL(clicked()), this, SLOT(switchToMainWin()), Qt::UniqueConnection);

    const char* saveSlots[] = {SLOT(onAddNormalVoteToListLableClicked()), SLOT(onAddGroupVoteToListPage()),
                               SLOT(onAddJudgeVoteToListPage())};
    if (auto* link = findInPage<PaneLabelWidget>(pageIndex, addToListLink))
        connect(link, SIGNAL(clicked()), this, saveSlots[kind], Qt::UniqueConnection);

    const char* startButtons[] = {"startNormalVoteBtn", "startGroupVoteBtn", "startJudgeVoteBtn"};
    if (auto* start = findInPage<PanePushButton>(pageIndex, startButtons[kind]))
        connect(start, SIGNAL(clicked()), this, SLOT(onStartBtnClick()), Qt::UniqueConnection);
}

void QuorixMainPanel::initTicketBoxes(PaneWidget* editor, const char* timeBoxName)
{
    if (!editor)
        return;
    if (auto* time = panefw::findChild<PaneComboBox>(editor, QString::fromLatin1(timeBoxName))) {
        time->setCurrentIndex(2);
        if (PaneLineEdit* edit = time->lineEdit())
            edit->setValidator(QRegExp(QStringLiteral("^\\d{1,4}$")));
    }
    for (const char* name : {"maxTicket", "maxOptionTicket"}) {
        if (auto* box = panefw::findChild<PaneComboBox>(editor, QString::fromLatin1(name))) {
            box->setCurrentIndex(0);
            if (PaneLineEdit* edit = box->lineEdit())
                edit->setValidator(QRegExp(QStringLiteral("\\d+")));
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Editors: option rows

QuorixMainPanel::OptionList QuorixMainPanel::optionList(int which)
{
    switch (which) {
    case GroupAList:
        return {&groupARows,
                "createGroupVotePage",
                "GroupVoteCreateListA",
                "addAGroupOptionBtn",
                SLOT(onDeleteAGroupOptionClicked()),
                &s_groupRowCounter,
                19,
                ".{1,8}"};
    case GroupBList:
        return {&groupBRows,
                "createGroupVotePage",
                "groupVoteCreateListB",
                "addBGroupOptionBtn",
                SLOT(onDeleteBGroupOptionClicked()),
                &s_groupRowCounter,
                19,
                ".{1,8}"};
    default:
        return {&normalOptionRows,
                "createNormalVotePage",
                "normalVoteCreateList",
                "addNormalOptionBtn",
                SLOT(ondeleteNormalVoteOptionClicked()),
                &s_normalRowCounter,
                12,
                ".{1,20}"};
    }
}

PaneWidget* QuorixMainPanel::optionContainer(const OptionList& list) const
{
    auto* editor = find<PaneWidget>(list.pageName);
    return editor ? panefw::findChild<PaneWidget>(editor, QString::fromLatin1(list.containerName)) : nullptr;
}

PaneWidget* QuorixMainPanel::addOptionRow(const OptionList& list)
{
    PaneWidget* container = optionContainer(list);
    if (!m_pWindow || !container || list.names->size() >= kMaxOptionRows)
        return nullptr;
    const QString rowName = QStringLiteral("optionBox") + QString::number((*list.nameCounter)++);

    auto* row = new PaneWidget(container);
    row->setObjectName(rowName);
    row->setLayout(PaneWidget::HBox);
    row->setFixHeight(kRowHeight);
    row->setSpacing(5);

    auto* label = new PaneLabelWidget(row);
    label->setObjectName(QStringLiteral("edit_Lable"));
    label->setText(rowLabelText(list.names->size()));
    label->setFixWidth(list.labelWidth);
    label->setTextColor(QColor(102, 102, 102));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->addItem(label);

    auto* edit = new PaneLineEdit(row);
    edit->setObjectName(QStringLiteral("voteOption"));
    edit->setFixSize(QSizeF(320, kRowHeight));
    edit->setValidator(QRegExp(QString::fromLatin1(list.validator)));
    row->addItem(edit);

    auto* remove = new PanePushButton(row);
    remove->setObjectName(rowName);
    remove->setFrameType(6);
    remove->setFixSize(QSizeF(22, 22));
    remove->setImagePath(QStringList{image("but_bianji_close_nomal.png"), image("but_bianji_close_hover.png"),
                                     image("but_bianji_close_press.png")}
                             .join('|'));
    row->addItem(remove);
    row->addItem(new PaneSpacerItem(row));

    container->addItem(row);
    list.names->append(rowName);
    connect(remove, SIGNAL(clicked()), this, list.deleteSlot);
    if (list.names->size() >= kMaxOptionRows)
        setAddLinkEnabled(list, false);
    return row;
}

// A row the person added comes into view, with the add link below it when both fit, so they see
// the row they asked for and can add the next one.
void QuorixMainPanel::addOptionRowInView(int which)
{
    const OptionList list = optionList(which);
    PaneWidget* row = addOptionRow(list);
    PaneScrollArea* area = row ? PaneScrollArea::enclosing(row) : nullptr;
    if (!area)
        return;
    QList<const QGraphicsItem*> shown{row};
    if (PaneLabelWidget* link = addLink(list))
        shown << link;
    area->ensureItemsVisible(shown);
}

void QuorixMainPanel::deleteOptionRow(const OptionList& list, const QString& rowName)
{
    PaneWidget* container = optionContainer(list);
    auto* row = container ? panefw::findChild<PaneWidget>(container, rowName) : nullptr;
    if (!row || row->parentItem() != container || !list.names->contains(rowName))
        return;
    container->removeItem(row);
    if (QGraphicsScene* scene = row->scene())
        scene->removeItem(row);
    // The delete button that asked for this is still inside its own clicked() emission.
    row->deleteLater();
    list.names->removeAll(rowName);
    renumberOptionRows(list);
    setAddLinkEnabled(list, true);
}

void QuorixMainPanel::renumberOptionRows(const OptionList& list)
{
    PaneWidget* container = optionContainer(list);
    if (!container)
        return;
    for (int i = 1; i < list.names->size(); ++i) {
        auto* row = panefw::findChild<PaneWidget>(container, list.names->at(i));
        auto* label = row ? panefw::findChild<PaneLabelWidget>(row, QStringLiteral("edit_Lable")) : nullptr;
        if (label)
            label->setText(rowLabelText(i));
    }
}

PaneLabelWidget* QuorixMainPanel::addLink(const OptionList& list) const
{
    auto* editor = find<PaneWidget>(list.pageName);
    return editor ? panefw::findChild<PaneLabelWidget>(editor, QString::fromLatin1(list.addLinkName))
                  : nullptr;
}

void QuorixMainPanel::setAddLinkEnabled(const OptionList& list, bool enabled)
{
    if (PaneLabelWidget* link = addLink(list))
        link->setEnabled(enabled);
}

QStringList QuorixMainPanel::optionTexts(const OptionList& list) const
{
    QStringList texts;
    PaneWidget* container = optionContainer(list);
    for (const QString& name : *list.names) {
        auto* row = container ? panefw::findChild<PaneWidget>(container, name) : nullptr;
        auto* edit = row ? panefw::findChild<PaneLineEdit>(row, QStringLiteral("voteOption")) : nullptr;
        texts << (edit ? edit->text() : QString());
    }
    return texts;
}

void QuorixMainPanel::fillOptionRows(const OptionList& list, const QStringList& texts)
{
    PaneWidget* container = optionContainer(list);
    for (int i = 0; i < list.names->size() && container; ++i) {
        auto* row = panefw::findChild<PaneWidget>(container, list.names->at(i));
        if (auto* edit = row ? panefw::findChild<PaneLineEdit>(row, QStringLiteral("voteOption")) : nullptr)
            edit->setText(i < texts.size() ? texts.at(i) : QString());
    }
}

// Presses the delete buttons of the rows beyond `keep`, last first; the first row has none.
void QuorixMainPanel::trimOptionRows(const OptionList& list, int keep)
{
    PaneWidget* container = optionContainer(list);
    for (int i = list.names->size() - 1; i >= qMax(keep, 1) && container; --i) {
        const QString name = list.names->at(i);
        auto* row = panefw::findChild<PaneWidget>(container, name);
        auto* button = row ? panefw::findChild<PanePushButton>(row, name) : nullptr;
        if (button)
            button->click();
        else
            deleteOptionRow(list, name);
    }
}

void QuorixMainPanel::onAddNormalClicked()
{
    addOptionRowInView(NormalList);
}

void QuorixMainPanel::onAddAGruopOption()
{
    addOptionRowInView(GroupAList);
}

void QuorixMainPanel::onAddBGruopOption()
{
    addOptionRowInView(GroupBList);
}

void QuorixMainPanel::ondeleteNormalVoteOptionClicked()
{
    if (sender())
        deleteOptionRow(optionList(NormalList), sender()->objectName());
}

void QuorixMainPanel::onDeleteAGroupOptionClicked()
{
    if (sender())
        deleteOptionRow(optionList(GroupAList), sender()->objectName());
}

void QuorixMainPanel::onDeleteBGroupOptionClicked()
{
    if (sender())
        deleteOptionRow(optionList(GroupBList), sender()->objectName());
}

// ---------------------------------------------------------------------------------------------
// Editors: validation and saving

QString QuorixMainPanel::filtered(const QString& text) const
{
    EntChannelInterface* channel = QuorixApp::instance()->getChannelInterface();
    return channel ? channel->filterText(text) : QString();
}

void QuorixMainPanel::warn(const QString& text, bool withParent)
{
    PaneMessageBox::warningAsync(withParent ? m_pWindow.data() : nullptr, QStringLiteral("投票提示"), text,
                                 QMessageBox::Ok, QMessageBox::Ok, nullptr, nullptr);
}

QString QuorixMainPanel::pageText(int pageIndex, const char* name) const
{
    if (auto* edit = findInPage<PaneLineEdit>(pageIndex, name))
        return edit->text();
    return comboText(findInPage<PaneComboBox>(pageIndex, name));
}

void QuorixMainPanel::setPageText(int pageIndex, const char* name, const QString& text)
{
    if (auto* edit = findInPage<PaneLineEdit>(pageIndex, name))
        edit->setText(text);
    else
        setComboText(findInPage<PaneComboBox>(pageIndex, name), text);
}

// Texts are the filtered page texts in collection order; with the ticket rule, texts 2 and 3
// are tickets per person and tickets per option.
bool QuorixMainPanel::checkTexts(const QStringList& texts, bool ticketRule)
{
    if (ticketRule && toU32(texts.value(2)) < toU32(texts.value(3))) {
        warn(QStringLiteral("每人可投票数需应该大于等于每项可投票数"));
        return false;
    }
    for (const QString& text : texts) {
        if (text.isEmpty()) {
            warn(QStringLiteral("填写内容不能为空哦"));
            return false;
        }
    }
    return true;
}

bool QuorixMainPanel::checkNormalVotePage()
{
    if (!m_pWindow || !QuorixApp::instance()->getChannelInterface() || !page(NormalEditorPage))
        return false;
    QStringList texts;
    for (const char* name : {"voteName", "LimitTime", "maxTicket", "maxOptionTicket"})
        texts << filtered(pageText(NormalEditorPage, name));
    for (const QString& option : optionTexts(optionList(NormalList)))
        texts << filtered(option);
    return checkTexts(texts, true);
}

bool QuorixMainPanel::checkGruopVotePage()
{
    if (!m_pWindow || !QuorixApp::instance()->getChannelInterface() || !page(GroupEditorPage))
        return false;
    QStringList texts;
    for (const char* name :
         {"voteName", "limitTime", "maxTicket", "maxOptionTicket", "ANameLineEdit", "BNameLineEdit"})
        texts << filtered(pageText(GroupEditorPage, name));
    for (const QString& option : optionTexts(optionList(GroupAList)) + optionTexts(optionList(GroupBList)))
        texts << filtered(option);
    return checkTexts(texts, true);
}

bool QuorixMainPanel::checkJudgeVotePage()
{
    if (!m_pWindow || !QuorixApp::instance()->getChannelInterface() || !page(JudgeEditorPage))
        return false;
    QStringList texts;
    for (const char* name : {"voteName", "LimitTime"})
        texts << filtered(pageText(JudgeEditorPage, name));
    return checkTexts(texts, false);
}

bool QuorixMainPanel::buildVote(int kind, quorix::VoteInfo& vote)
{
    const int pageIndex = kind + NormalEditorPage;
    const char* timeBox = kind == quorix::kGroupVote ? "limitTime" : "LimitTime";
    vote.voteType = quint32(kind);
    vote.name = pageText(pageIndex, "voteName").toStdString();
    vote.limitTime = toU32(pageText(pageIndex, timeBox));
    if (kind == quorix::kJudgeVote) {
        vote.limits = {{quorix::kTicketsPerUser, 5}, {quorix::kTicketsPerOption, 5}};
        vote.options = {{0, vote.name}};
        if (!m_pJudgeListCtrl)
            return true;
        const auto& numbers = m_pJudgeListCtrl->numbers();
        const auto& nicks = m_pJudgeListCtrl->nicks();
        const auto& uids = m_pJudgeListCtrl->uids();
        for (std::size_t i = 0; i < uids.size(); ++i) {
            quorix::JudgeInfo judge;
            judge.uid = uids[i];
            judge.imid = toU32(numbers[i]);
            judge.nick = nicks[i].toStdString();
            vote.judgeOrder[quint32(i)] = judge.uid;
            vote.judges[judge.uid] = judge;
        }
        return true;
    }
    vote.limits = {{quorix::kTicketsPerUser, toU32(pageText(pageIndex, "maxTicket"))},
                   {quorix::kTicketsPerOption, toU32(pageText(pageIndex, "maxOptionTicket"))}};
    if (kind == quorix::kNormalVote) {
        const QStringList options = optionTexts(optionList(NormalList));
        for (int i = 0; i < options.size(); ++i)
            vote.options[quint32(i)] = options[i].toStdString();
        return true;
    }
    vote.groupNames = {{0, pageText(pageIndex, "ANameLineEdit").toStdString()},
                       {1, pageText(pageIndex, "BNameLineEdit").toStdString()}};
    quint32 id = 0;
    for (int group = 0; group < 2; ++group) {
        for (const QString& option : optionTexts(optionList(group == 0 ? GroupAList : GroupBList))) {
            vote.options[id] = option.toStdString();
            vote.optionGroup[id] = quint32(group);
            ++id;
        }
    }
    return true;
}

void QuorixMainPanel::saveVote(int kind)
{
    quorix::VoteInfo vote;
    if (!m_pController || !buildVote(kind, vote))
        return;
    vote.voteId = editId(kind);
    if (vote.voteId != 0)
        m_pController->reqUpdateVote(vote);
    else
        m_pController->reqCreateVote(vote);
}

void QuorixMainPanel::onAddNormalVoteToListLableClicked()
{
    if (m_pWindow && checkNormalVotePage())
        saveVote(quorix::kNormalVote);
}

void QuorixMainPanel::onAddGroupVoteToListPage()
{
    if (m_pWindow && checkGruopVotePage())
        saveVote(quorix::kGroupVote);
}

void QuorixMainPanel::onAddJudgeVoteToListPage()
{
    if (m_pWindow && checkJudgeVotePage())
        saveVote(quorix::kJudgeVote);
}

void QuorixMainPanel::onStartBtnClick()
{
    auto* button = qobject_cast<PanePushButton*>(sender());
    if (!button)
        return;
    if (m_pController && m_pController->hasOpenVote()) {
        warn(QStringLiteral("有投票没有关闭~"), false);
        return;
    }
    const QString name = button->objectName();
    if (name == QLatin1String("startNormalVoteBtn")) {
        if (!checkNormalVotePage())
            return;
        saveVote(quorix::kNormalVote);
    } else if (name == QLatin1String("startGroupVoteBtn")) {
        if (!checkGruopVotePage())
            return;
        saveVote(quorix::kGroupVote);
    } else if (name == QLatin1String("startJudgeVoteBtn")) {
        if (!checkJudgeVotePage())
            return;
        saveVote(quorix::kJudgeVote);
    }
    button->setEnabled(false);
}

bool QuorixMainPanel::isStartIdle() const
{
    // Without the service no start can be waiting: the buttons are disabled for that reason.
    if (!m_pWindow || !m_serviceConnected)
        return true;
    for (const char* name : kStartButtons) {
        auto* button = find<PanePushButton>(name);
        if (button && !button->isEnabled())
            return false;
    }
    return true;
}

void QuorixMainPanel::enableStartButtons()
{
    for (const char* name : kStartButtons) {
        if (auto* button = find<PanePushButton>(name))
            button->setEnabled(m_serviceConnected);
    }
}

bool QuorixMainPanel::isWindowVisible() const
{
    return m_pWindow && m_pWindow->isVisible();
}

void QuorixMainPanel::setServiceConnected(bool connected)
{
    m_serviceConnected = connected;
    applyServiceState();
}

void QuorixMainPanel::applyServiceState()
{
    if (!m_pWindow)
        return;
    const QString reason = m_serviceConnected ? QString() : QString::fromUtf8(kServiceDownTip);
    if (auto* banner = find<PaneLabelWidget>("serviceStateLabel")) {
        banner->setText(m_serviceConnected ? QString() : QString::fromUtf8(kServiceDownText));
        banner->setVisible(!m_serviceConnected);
    }
    for (const char* name : kServiceActions) {
        if (auto* action = find<QGraphicsWidget>(name)) {
            action->setEnabled(m_serviceConnected);
            action->setToolTip(reason);
        }
    }
    const bool judgeRoom = !m_pJudgeListCtrl || int(m_pJudgeListCtrl->uids().size()) < kMaxJudges;
    setJudgeLinkEnabled(judgeRoom);
    if (auto* link = findInPage<PaneLabelWidget>(JudgeEditorPage, "lableJudge"))
        link->setToolTip(reason);
    applyServiceStateToRows();
}

// The start, edit and delete links of every vote row.
void QuorixMainPanel::applyServiceStateToRows()
{
    auto* list = find<QuorixPaneListCtrl>("voteListCtrl");
    if (!list)
        return;
    const QString reason = m_serviceConnected ? QString() : QString::fromUtf8(kServiceDownTip);
    for (int i = 0; i < list->rowCount(); ++i) {
        if (PaneWidget* links = list->findInRow(i, QStringLiteral("ROW_HLAYOUT"))) {
            links->setEnabled(m_serviceConnected);
            links->setToolTip(reason);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Editors: judges

void QuorixMainPanel::setJudgeLinkEnabled(bool enabled)
{
    if (auto* link = findInPage<PaneLabelWidget>(JudgeEditorPage, "lableJudge"))
        link->setEnabled(enabled && m_serviceConnected);
}

void QuorixMainPanel::onAddJudgeClicked()
{
    auto* edit = findInPage<PaneLineEdit>(JudgeEditorPage, "voteTovoName");
    const QString text = edit ? edit->text() : QString();
    if (text.isEmpty())
        return;
    if (m_pJudgeListCtrl && int(m_pJudgeListCtrl->uids().size()) >= kMaxJudges) {
        warn(QStringLiteral("抱歉,最多只能添加5位。"));
        return;
    }
    if (m_pController)
        m_pController->reqQueryNickname(toU32(text));
}

void QuorixMainPanel::onJudgeQueried(const QString& nick, quint32 imid, quint32 uid)
{
    if (!m_pJudgeListCtrl)
        return;
    if (uid == 0) {
        warn(QStringLiteral("抱歉，该用户不存在。"));
        return;
    }
    // Two look-ups sent while four judges were listed must not make six.
    if (int(m_pJudgeListCtrl->uids().size()) >= kMaxJudges) {
        warn(QStringLiteral("抱歉,最多只能添加5位。"));
        return;
    }
    if (auto* edit = findInPage<PaneLineEdit>(JudgeEditorPage, "voteTovoName"))
        edit->setText(QString());
    m_pJudgeListCtrl->addJudge(QString::number(imid), nick, uid);
    if (int(m_pJudgeListCtrl->uids().size()) >= kMaxJudges)
        setJudgeLinkEnabled(false);
}

void QuorixMainPanel::onJudgeDeleteClicked(int row)
{
    Q_UNUSED(row);
    setJudgeLinkEnabled(true);
}

// ---------------------------------------------------------------------------------------------
// Opening a stored vote

void QuorixMainPanel::onRowEditLabelClicked(int voteId)
{
    const quint32 id = quint32(voteId);
    QLOG(2) << " Edit Label is clicked, vote id is " << id << ". and id is " << id;
    if (!m_pWindow)
        return;
    const quorix::VoteInfo* stored = findVote(id);
    if (!stored)
        return;
    const quorix::VoteInfo vote = *stored;
    switch (vote.voteType) {
    case quorix::kNormalVote:
        openNormalVote(vote);
        break;
    case quorix::kGroupVote:
        openGroupVote(vote);
        break;
    case quorix::kJudgeVote:
        openJudgeVote(vote);
        break;
    default:
        return;
    }
    onCreateComboBoxClicked(int(vote.voteType));
}

void QuorixMainPanel::openNormalVote(const quorix::VoteInfo& vote)
{
    setPageText(NormalEditorPage, "voteName", fromUtf8(vote.name));
    setPageText(NormalEditorPage, "LimitTime", QString::number(vote.limitTime));
    setPageText(NormalEditorPage, "maxTicket", QString::number(vote.ticketLimit(quorix::kTicketsPerUser)));
    setPageText(NormalEditorPage, "maxOptionTicket",
                QString::number(vote.ticketLimit(quorix::kTicketsPerOption)));
    normalEditId = vote.voteId;

    const OptionList list = optionList(NormalList);
    const int wanted = int(vote.options.size());
    trimOptionRows(list, wanted);
    for (int missing = wanted - list.names->size(); missing > 0; --missing)
        addOptionRow(list);
    QStringList texts;
    for (int i = 0; i < list.names->size(); ++i) {
        const auto it = vote.options.find(quint32(i));
        texts << (it == vote.options.end() ? QString() : fromUtf8(it->second));
    }
    fillOptionRows(list, texts);
}

void QuorixMainPanel::openGroupVote(const quorix::VoteInfo& vote)
{
    setPageText(GroupEditorPage, "voteName", fromUtf8(vote.name));
    setPageText(GroupEditorPage, "limitTime", QString::number(vote.limitTime));
    setPageText(GroupEditorPage, "maxTicket", QString::number(vote.ticketLimit(quorix::kTicketsPerUser)));
    setPageText(GroupEditorPage, "maxOptionTicket",
                QString::number(vote.ticketLimit(quorix::kTicketsPerOption)));
    const auto groupName = [&vote](quint32 key) {
        const auto it = vote.groupNames.find(key);
        return it == vote.groupNames.end() ? QString() : fromUtf8(it->second);
    };
    setPageText(GroupEditorPage, "ANameLineEdit", groupName(0));
    setPageText(GroupEditorPage, "BNameLineEdit", groupName(1));
    groupEditId = vote.voteId;

    QStringList teams[2];
    for (const auto& [optionId, text] : vote.options) {
        const auto group = vote.optionGroup.find(optionId);
        if (group != vote.optionGroup.end() && group->second < 2)
            teams[group->second] << fromUtf8(text);
    }
    const OptionList lists[2] = {optionList(GroupAList), optionList(GroupBList)};
    for (int t = 0; t < 2; ++t) {
        trimOptionRows(lists[t], 1);
        for (int missing = teams[t].size() - lists[t].names->size(); missing > 0; --missing)
            addOptionRow(lists[t]);
        fillOptionRows(lists[t], teams[t]);
    }
}

void QuorixMainPanel::openJudgeVote(const quorix::VoteInfo& vote)
{
    setPageText(JudgeEditorPage, "voteName", fromUtf8(vote.name));
    setPageText(JudgeEditorPage, "LimitTime", QString::number(vote.limitTime));
    judgeEditId = vote.voteId;
    if (!m_pJudgeListCtrl)
        return;
    m_pJudgeListCtrl->clear();
    setJudgeLinkEnabled(true);
    for (const auto& [position, uid] : vote.judgeOrder) {
        Q_UNUSED(position);
        const auto judge = vote.judges.find(uid);
        if (judge != vote.judges.end())
            onJudgeQueried(fromUtf8(judge->second.nick), judge->second.imid, judge->second.uid);
    }
}
