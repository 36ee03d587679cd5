#include "src/quorixapp/quorixmainpanel.h"

#include "src/quorixapp/judgelistctrl.h"
#include "src/quorixapp/managementstyle.h"
#include "src/quorixapp/panelistctrrowwidget.h"
#include "src/quorixapp/quorixapp.h"
#include "src/quorixapp/quorixcontroller.h"
#include "src/quorixlog/quorixlog.h"
#include "src/quorixapp/quorixpanelistctrl.h"
#include "src/quorixapp/quorixrecordrows.h"
#include "src/quorixapp/quorixwindowloader.h"

#include <panecheckbox.h>
#include <panecombobox.h>
#include <panefind.h>
#include <paneframewindow.h>
#include <panelabelwidget.h>
#include <panelineedit.h>
#include <panemessagebox.h>
#include <panepushbutton.h>
#include <panespaceritem.h>
#include <panestackedwidget.h>
#include <panewidget.h>

#include <QGraphicsWidget>
#include <QVariantMap>

namespace {

const char* const kLayoutPath = ":/layout/theme/quorix/layout/voteMrg.xml";
const int kVoteIdKey = 999;

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

const char* const kPageNames[] = {"mainWinPage",          "voteListPage",        "voteRecordPage",
                                  "createNormalVotePage", "createGroupVotePage", "createJudgeVotePage"};

// The widgets of each editor page that the window wires to its own slots, by vote kind.
const struct
{
    const char* backButton;
    const char* saveLink;
    const char* saveSlot;
    const char* startButton;
} kEditorPages[] = {
    {"createNormalVoteMainBtn", "voteListAddNormalVoteLable", SLOT(onAddNormalVoteToListLableClicked()),
     "startNormalVoteBtn"},
    {"createGroupVoteMainBtn", "addGroupVoteListLable", SLOT(onAddGroupVoteToListPage()),
     "startGroupVoteBtn"},
    {"createJudgeVoteMainBtn", "voteListAddJudgeVoteLable", SLOT(onAddJudgeVoteToListPage()),
     "startJudgeVoteBtn"},
};

using managementstyle::image;

QString checkBoxImages()
{
    const char* files[] = {"check_02.png", "check_02.png", "check_01.png", "check_01.png",
                           "check_01.png", "check_01.png", "check_02.png", "check_01.png"};
    QStringList paths;
    for (const char* f : files)
        paths << image(f);
    return paths.join('|');
}

PaneLabelWidget* makeRowLink(const QString& text, const char* name, QGraphicsItem* parent)
{
    auto* label = new PaneLabelWidget(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setText(text);
    label->setTextColor(managementstyle::kLinkColor);
    label->setAcceptClick(true);
    label->setUnderlineOnHover(true);
    label->setFixWidth(managementstyle::kVoteLinkWidth);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    return label;
}

template <class T> T* rowItem(QuorixPaneListCtrl* list, int row, const char* name)
{
    return dynamic_cast<T*>(list->findInRow(row, QString::fromLatin1(name)));
}

void setLinkActive(PaneLabelWidget* label, bool active)
{
    if (!label)
        return;
    label->setTextColor(active ? managementstyle::kLinkColor : managementstyle::kGreyColor);
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
    m_normalEditor.reset();
    m_groupEditor.reset();
    m_judgeEditor.reset();
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

VoteEditor* QuorixMainPanel::editor(int kind) const
{
    switch (kind) {
    case quorix::kNormalVote:
        return m_normalEditor.get();
    case quorix::kGroupVote:
        return m_groupEditor.get();
    case quorix::kJudgeVote:
        return m_judgeEditor.get();
    default:
        return nullptr;
    }
}

quint32 QuorixMainPanel::editId(int kind) const
{
    VoteEditor* kindEditor = editor(kind);
    return kindEditor ? kindEditor->editId() : 0;
}

const QStringList& QuorixMainPanel::normalOptionRowNames() const
{
    static const QStringList none;
    return m_normalEditor ? m_normalEditor->options().rowNames() : none;
}

const QStringList& QuorixMainPanel::groupARowNames() const
{
    static const QStringList none;
    return m_groupEditor ? m_groupEditor->teamA().rowNames() : none;
}

const QStringList& QuorixMainPanel::groupBRowNames() const
{
    static const QStringList none;
    return m_groupEditor ? m_groupEditor->teamB().rowNames() : none;
}

JudgeListCtrl* QuorixMainPanel::judgeList() const
{
    return m_judgeEditor ? m_judgeEditor->judges() : nullptr;
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
    const char* buttons[] = {"nomalVote", "groupVote", "judgeVote"};
    for (int kind = 0; kind < int(std::size(buttons)); ++kind) {
        if (button == find<PanePushButton>(buttons[kind]))
            editNewVote(kind);
    }
}

void QuorixMainPanel::newEditNormalVote()
{
    editNewVote(quorix::kNormalVote);
}

void QuorixMainPanel::editNewVote(int kind)
{
    if (VoteEditor* kindEditor = editor(kind))
        kindEditor->startNewVote();
    onCreateComboBoxClicked(kind);
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
    // The combo box of each editor page is named after its kind; another sender means normal.
    const QString name = sender() ? sender()->objectName() : QString();
    int kind = quorix::kNormalVote;
    if (name == QLatin1String("createComboBox2"))
        kind = quorix::kJudgeVote;
    else if (name == QLatin1String("createComboBox1"))
        kind = quorix::kGroupVote;
    if (VoteEditor* kindEditor = editor(kind))
        kindEditor->startNewVote();
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
    if (auto* label = find<PaneLabelWidget>("voteNumberLabel"))
        label->setFont(managementstyle::voteCountFont());
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
        label->setFont(managementstyle::voteCountFont());
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
    PaneListCtrRowWidget* row = list ? list->insertRow(index, managementstyle::kRowHeight) : nullptr;
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
    list->placeInRow(index, check, managementstyle::kVoteCheckRect);

    auto* name = new PaneLabelWidget(row);
    name->setObjectName(QStringLiteral("VOTE_NAME"));
    name->setText(QString::fromStdString(vote.name));
    name->setTextColor(managementstyle::kVoteNameColor);
    name->setFixWidth(managementstyle::kVoteNameRect.width());
    list->placeInRow(index, name, managementstyle::kVoteNameRect);

    auto* box = new PaneWidget(row);
    box->setObjectName(QStringLiteral("ROW_HLAYOUT"));
    box->setLayout(PaneWidget::HBox);
    box->setFixWidth(managementstyle::kVoteLinksRect.width());
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
    list->placeInRow(index, box, managementstyle::kVoteLinksRect);
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
        auto* start = rowItem<PaneLabelWidget>(list, i, "START_LABEL");
        if (list->rowWidget(i)->data(kVoteIdKey).toUInt() != voteId) {
            setLinkActive(start, false);
            continue;
        }
        if (PaneWidget* box = list->findInRow(i, QStringLiteral("ROW_HLAYOUT")))
            box->show();
        if (start)
            start->setText(startText);
        for (const char* link : {"EDITE_LABEL", "DELETE_LABEL"})
            setLinkActive(rowItem<PaneLabelWidget>(list, i, link), false);
    }
}

void QuorixMainPanel::resetVoteRows()
{
    auto* list = find<QuorixPaneListCtrl>("voteListCtrl");
    if (!list)
        return;
    for (int i = 0; i < list->rowCount(); ++i) {
        if (auto* start = rowItem<PaneLabelWidget>(list, i, "START_LABEL"))
            start->setText(QString::fromUtf8(kStartText));
        for (const char* link : {"START_LABEL", "EDITE_LABEL", "DELETE_LABEL"})
            setLinkActive(rowItem<PaneLabelWidget>(list, i, link), true);
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
    auto* start = rowItem<PaneLabelWidget>(list, row, "START_LABEL");
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
        if (auto* check = rowItem<PaneCheckBox>(list, i, "CHECK_BOX"))
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
            auto* check = rowItem<PaneCheckBox>(list, i, "CHECK_BOX");
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
    auto* start = rowItem<PaneLabelWidget>(list, row, "START_LABEL");
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
        auto* check = rowItem<PaneCheckBox>(list, i, "CHECK_BOX");
        auto* remove = rowItem<PaneLabelWidget>(list, i, "DELETE_LABEL");
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
    if (auto* label = find<PaneLabelWidget>("voteRecordVotedayLabel"))
        label->setFont(managementstyle::historyDayFont());
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
// Editors: each page is handled by the editor of its kind; the window wires the page's buttons
// and links to its own slots and passes them on.

void QuorixMainPanel::initEditors()
{
    const VoteEditor::Warn warnInWindow = [this](const QString& text) { warn(text); };
    m_normalEditor = std::make_unique<NormalVoteEditor>(page(NormalEditorPage), warnInWindow, this,
                                                        SLOT(ondeleteNormalVoteOptionClicked()));
    m_groupEditor = std::make_unique<GroupVoteEditor>(page(GroupEditorPage), warnInWindow, this,
                                                      SLOT(onDeleteAGroupOptionClicked()),
                                                      SLOT(onDeleteBGroupOptionClicked()));
    m_judgeEditor = std::make_unique<JudgeVoteEditor>(page(JudgeEditorPage), warnInWindow);
    for (int kind = quorix::kNormalVote; kind <= int(quorix::kJudgeVote); ++kind)
        initEditorPage(kind);

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
    if (JudgeListCtrl* judges = m_judgeEditor->judges())
        connect(judges, &JudgeListCtrl::removeItem, this, &QuorixMainPanel::onJudgeDeleteClicked,
                Qt::UniqueConnection);
}

void QuorixMainPanel::initEditorPage(int kind)
{
    const int pageIndex = kind + NormalEditorPage;
    const auto& names = kEditorPages[kind];
    const QByteArray comboName = "createComboBox" + QByteArray::number(kind);
    if (auto* combo = findInPage<PaneComboBox>(pageIndex, comboName.constData())) {
        QList<QVariantMap> items;
        for (const char* text : {"新增普通投票", "新增对战投票", "新增评委投票"})
            items << QVariantMap{{QStringLiteral("text"), QString::fromUtf8(text)}};
        combo->setData(items);
        combo->setCurrentIndex(0);
        connect(combo, SIGNAL(currentIndexChanged(int)), this, SLOT(newEditVote(int)), Qt::UniqueConnection);
    }
    if (auto* back = findInPage<PanePushButton>(pageIndex, names.backButton))
        connect(back, SIGNAL(clicked()), this, SLOT(switchToMainWin()), Qt::UniqueConnection);
    if (auto* link = findInPage<PaneLabelWidget>(pageIndex, names.saveLink))
        connect(link, SIGNAL(clicked()), this, names.saveSlot, Qt::UniqueConnection);
    if (auto* start = findInPage<PanePushButton>(pageIndex, names.startButton))
        connect(start, SIGNAL(clicked()), this, SLOT(onStartBtnClick()), Qt::UniqueConnection);

    // Time limits take up to four digits and start at the third choice; ticket limits take any
    // number and start at the first.
    if (auto* time = findInPage<PaneComboBox>(pageIndex, editor(kind)->timeBoxName())) {
        time->setCurrentIndex(2);
        if (PaneLineEdit* edit = time->lineEdit())
            edit->setValidator(QRegExp(QStringLiteral("^\\d{1,4}$")));
    }
    for (const char* name : {"maxTicket", "maxOptionTicket"}) {
        if (auto* box = findInPage<PaneComboBox>(pageIndex, name)) {
            box->setCurrentIndex(0);
            if (PaneLineEdit* edit = box->lineEdit())
                edit->setValidator(QRegExp(QStringLiteral("\\d+")));
        }
    }
}

void QuorixMainPanel::onAddNormalClicked()
{
    if (m_normalEditor)
        m_normalEditor->options().addRowInView();
}

void QuorixMainPanel::onAddAGruopOption()
{
    if (m_groupEditor)
        m_groupEditor->teamA().addRowInView();
}

void QuorixMainPanel::onAddBGruopOption()
{
    if (m_groupEditor)
        m_groupEditor->teamB().addRowInView();
}

void QuorixMainPanel::ondeleteNormalVoteOptionClicked()
{
    if (sender() && m_normalEditor)
        m_normalEditor->options().deleteRow(sender()->objectName());
}

void QuorixMainPanel::onDeleteAGroupOptionClicked()
{
    if (sender() && m_groupEditor)
        m_groupEditor->teamA().deleteRow(sender()->objectName());
}

void QuorixMainPanel::onDeleteBGroupOptionClicked()
{
    if (sender() && m_groupEditor)
        m_groupEditor->teamB().deleteRow(sender()->objectName());
}

void QuorixMainPanel::warn(const QString& text, bool withParent)
{
    PaneMessageBox::warningAsync(withParent ? m_pWindow.data() : nullptr, QStringLiteral("投票提示"), text,
                                 QMessageBox::Ok, QMessageBox::Ok, nullptr, nullptr);
}

bool QuorixMainPanel::checkEditor(int kind)
{
    VoteEditor* kindEditor = editor(kind);
    return m_pWindow && kindEditor && kindEditor->validate();
}

bool QuorixMainPanel::checkNormalVotePage()
{
    return checkEditor(quorix::kNormalVote);
}

bool QuorixMainPanel::checkGruopVotePage()
{
    return checkEditor(quorix::kGroupVote);
}

bool QuorixMainPanel::checkJudgeVotePage()
{
    return checkEditor(quorix::kJudgeVote);
}

void QuorixMainPanel::saveVote(int kind)
{
    VoteEditor* kindEditor = editor(kind);
    if (!m_pController || !kindEditor)
        return;
    const quorix::VoteInfo vote = kindEditor->record();
    if (vote.voteId != 0)
        m_pController->reqUpdateVote(vote);
    else
        m_pController->reqCreateVote(vote);
}

void QuorixMainPanel::onAddNormalVoteToListLableClicked()
{
    if (checkEditor(quorix::kNormalVote))
        saveVote(quorix::kNormalVote);
}

void QuorixMainPanel::onAddGroupVoteToListPage()
{
    if (checkEditor(quorix::kGroupVote))
        saveVote(quorix::kGroupVote);
}

void QuorixMainPanel::onAddJudgeVoteToListPage()
{
    if (checkEditor(quorix::kJudgeVote))
        saveVote(quorix::kJudgeVote);
}

// The start button of an editor page saves the vote; it is started when the service's new list
// arrives (the controller), and the button stays disabled until then.
void QuorixMainPanel::onStartBtnClick()
{
    auto* button = qobject_cast<PanePushButton*>(sender());
    if (!button)
        return;
    if (m_pController && m_pController->hasOpenVote()) {
        warn(QStringLiteral("有投票没有关闭~"), false);
        return;
    }
    for (int kind = quorix::kNormalVote; kind <= int(quorix::kJudgeVote); ++kind) {
        if (button->objectName() != QLatin1String(kEditorPages[kind].startButton))
            continue;
        if (!checkEditor(kind))
            return;
        saveVote(kind);
    }
    button->setEnabled(false);
}

bool QuorixMainPanel::isStartIdle() const
{
    // Without the service no start can be waiting: the buttons are disabled for that reason.
    if (!m_pWindow || !m_serviceConnected)
        return true;
    for (const auto& names : kEditorPages) {
        auto* button = find<PanePushButton>(names.startButton);
        if (button && !button->isEnabled())
            return false;
    }
    return true;
}

void QuorixMainPanel::enableStartButtons()
{
    for (const auto& names : kEditorPages) {
        if (auto* button = find<PanePushButton>(names.startButton))
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
    updateJudgeLink();
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

// The judge look-up link works while the list has room and the service is there.
void QuorixMainPanel::updateJudgeLink()
{
    const bool room = !m_judgeEditor || !m_judgeEditor->isFull();
    if (auto* link = findInPage<PaneLabelWidget>(JudgeEditorPage, "lableJudge"))
        link->setEnabled(room && m_serviceConnected);
}

void QuorixMainPanel::onAddJudgeClicked()
{
    const std::optional<quint32> number = m_judgeEditor ? m_judgeEditor->numberToLookUp() : std::nullopt;
    if (number && m_pController)
        m_pController->reqQueryNickname(*number);
}

void QuorixMainPanel::onJudgeQueried(const QString& nick, quint32 imid, quint32 uid)
{
    if (!m_judgeEditor)
        return;
    m_judgeEditor->addJudge(nick, imid, uid);
    updateJudgeLink();
}

void QuorixMainPanel::onJudgeDeleteClicked(int row)
{
    Q_UNUSED(row);
    updateJudgeLink();
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
    VoteEditor* kindEditor = stored ? editor(int(stored->voteType)) : nullptr;
    if (!kindEditor)
        return;
    const quorix::VoteInfo vote = *stored;
    kindEditor->open(vote);
    updateJudgeLink();
    onCreateComboBoxClicked(int(vote.voteType));
}
