#include "src/quorixapp/quorixcontroller.h"

#include "src/quorixapp/entchannelinterface.h"
#include "src/quorixapp/entuserinteface.h"
#include "src/quorixapp/groupvotewin.h"
#include "src/quorixapp/judgevotewin.h"
#include "src/quorixapp/normalvotewin.h"
#include "src/quorixapp/quorixapp.h"
#include "src/quorixapp/quorixdatacenter.h"
#include "src/quorixlog/quorixlog.h"
#include "src/quorixapp/quorixmainpanel.h"
#include "src/quorixapp/quorixprotocol.h"
#include "src/quorixapp/recordwnd.h"

#include "componentroot.h"
#include "itovoaddonboxex.h"
#include "tovoaddonboxitem.h"

#include <QWidget>

namespace {

const char kChannelServiceEx[] = "com.tovo.channelserviceex";
const char kAddonItemName[] = "quorixItem";
const char kAddonIcon[] = ":/image/theme/quorix/image/vote_normal.png";
const char kAddonText[] = "投票2.0";
const char kAddonNarrowName[] = "quorix";
const int kAddonBoxFirst = 1000;
const int kAddonBoxSecond = 1100;
const int kAddonItemValue = 100;
// A ticket-state answer refusing the request, and its refusal code for "no open vote of that number".
const quint32 kTicketStateRefused = 1;
const quint32 kNoOpenVote = 2;

} // namespace

QuorixController::QuorixController() = default;
QuorixController::~QuorixController() = default;

void QuorixController::init(QuorixProtocol* protocol, QuorixMainPanel* mainPanel,
                            QuorixDataCenter* dataCenter, NormalVoteWin* normalWnd, GroupVoteWin* groupWnd,
                            JudgeVoteWin* judgeWnd, recordWnd* recordWindow)
{
    m_pProtocol = protocol;
    m_pMainPanel = mainPanel;
    m_pDataCenter = dataCenter;
    m_audienceWindows = {normalWnd, groupWnd, judgeWnd};
    m_pRecordWnd = recordWindow;
    addAppBoxBtn();
    if (m_pProtocol) {
        connect(m_pProtocol.data(), &QuorixProtocol::serviceConnectionChanged, this,
                &QuorixController::onServiceConnectionChanged, Qt::UniqueConnection);
        if (m_pMainPanel)
            m_pMainPanel->setServiceConnected(m_pProtocol->isServiceConnected());
    }
    if (EntChannelInterface* channel = QuorixApp::instance()->getChannelInterface())
        connect(channel, &EntChannelInterface::subChannelChanged, this,
                &QuorixController::onSubChannelChanged);
}

void QuorixController::addAppBoxBtn()
{
    if (boxButtonAdded)
        return;
    IComponentRoot* root = QuorixApp::instance()->getComRoot();
    if (root == nullptr) {
        QLOG(1) << "addAppBoxBtn fail ptr == null";
        return;
    }
    comptr<ITovoAddonBoxEx> box = serviceInterface<ITovoAddonBoxEx>(root, kChannelServiceEx);
    if (!box)
        return;
    QLOG(1) << "insert channelAddonItem";
    TovoAddonBoxItem* item = box->createItem(kAddonBoxFirst, kAddonBoxSecond);
    addonBoxItem = item;
    if (item == nullptr) {
        QLOG(1) << "boxItem is null";
        return;
    }
    item->setObjectName(kAddonItemName);
    item->setImagePath(QString::fromUtf8(kAddonIcon));
    item->setText(QString::fromUtf8(kAddonText));
    item->setName(kAddonNarrowName);
    item->setToolTipText(QString::fromUtf8(kAddonText));
    item->setPriority(kAddonItemValue);
    connect(item, &TovoAddonBoxItem::clicked, this, &QuorixController::onChannelAddonClicked,
            Qt::UniqueConnection);
    boxButtonAdded = true;
}

void QuorixController::reqStartVote(quint32 voteId)
{
    if (m_pProtocol)
        m_pProtocol->reqStartVote(voteId);
}

void QuorixController::reqEndVote(quint32 voteId)
{
    if (!m_pProtocol)
        return;
    m_pProtocol->reqEndVote(voteId, m_voteJiFangID);
    windowPopped = false;
}

void QuorixController::reqCloseVote(quint32 voteId)
{
    if (m_pProtocol)
        m_pProtocol->reqCloseVote(voteId, m_voteJiFangID);
}

void QuorixController::reqDeleteVote(quint32 voteId, quint32 voteType)
{
    if (m_pProtocol)
        m_pProtocol->reqDeleteVote(voteId, voteType);
}

void QuorixController::reqBatchDeleteVote(const QMap<quint32, quint32>& voteIdToType)
{
    if (m_pProtocol)
        m_pProtocol->reqBatchDeleteVote(voteIdToType);
}

void QuorixController::reqCreateVote(const quorix::VoteInfo& vote)
{
    if (m_pProtocol)
        m_pProtocol->reqCreateVote(vote);
}

void QuorixController::reqUpdateVote(const quorix::VoteInfo& vote)
{
    if (m_pProtocol)
        m_pProtocol->reqUpdateVote(vote);
}

void QuorixController::reqQueryVoteHisRecord()
{
    if (m_pProtocol)
        m_pProtocol->reqQueryVoteHisRecord();
}

void QuorixController::reqQueryNickname(quint32 imid)
{
    if (m_pProtocol)
        m_pProtocol->reqQueryNickname(imid);
}

void QuorixController::reqUserVote2Option(quint32 optionId, quint32 voteType)
{
    if (!m_pProtocol)
        return;
    const qint32 tickets = 1;
    m_pProtocol->reqUserVote(optionId, tickets, m_voteJiFangID, m_voteIdStarted, voteType);
    QLOG(2) << "optionID ----------------------------------------------------" << optionId << "ticket "
            << tickets << "m_voteJiFangID " << m_voteJiFangID << " m_voteIdStarted " << m_voteIdStarted;
}

void QuorixController::reqJudgeScore(quint32 points)
{
    if (m_pProtocol)
        m_pProtocol->reqUserVote(0, points, m_voteJiFangID, m_voteIdStarted, quorix::kJudgeVote);
}

bool QuorixController::hasOpenVote() const
{
    return m_voteJiFangID != 0;
}
const quorix::VoteList& QuorixController::votes() const
{
    return m_votes;
}
const quorix::PQueryVoteHisRecordRes& QuorixController::history() const
{
    return m_history;
}

void QuorixController::onResCreateVote(const quorix::PCreateVoteRes& res)
{
    afterSave(res, "onResCreateVote voteid == ");
}

void QuorixController::onResUpdateVote(const quorix::PUpdateVoteRes& res)
{
    afterSave(res, "onResUpdateVote voteid == ");
}

// A vote saved while a start button is pressed is started once the refreshed list arrives.
void QuorixController::afterSave(const quorix::PCreateVoteRes& res, const char* logText)
{
    if (!m_pMainPanel || res.result != 0)
        return;
    m_pMainPanel->showVoteListPage();
    if (m_pMainPanel->isStartIdle())
        return;
    pendingStartId = res.voteId;
    QLOG(1) << logText << res.voteId;
}

void QuorixController::onResStartVote(const quorix::PStartVoteRes& res)
{
    if (res.result != 0)
        return;
    voteRunning = true;
    if (res.voteId != m_voteIdStarted)
        m_voteTypeStarted = kNoVoteType;
    m_voteIdStarted = res.voteId;
    m_voteJiFangID = res.jiFangId;
    if (m_pMainPanel)
        m_pMainPanel->markVoteStarted(res.voteId);
}

void QuorixController::onResEndVote(const quorix::PEndVoteRes& res)
{
    if (res.result != 0 || res.voteId != m_voteIdStarted)
        return;
    voteRunning = false;
    if (m_pMainPanel)
        m_pMainPanel->markVoteStopped(res.voteId);
}

// Applied whatever the result: the audience windows always go away.
void QuorixController::onResCloseVoteUi(const quorix::PCloseVoteUiRes&)
{
    if (m_pMainPanel) {
        m_pMainPanel->resetVoteRows();
        m_voteJiFangID = 0;
        m_voteIdStarted = 0;
    }
    for (AudienceVoteWindow* window : m_audienceWindows) {
        if (window)
            window->hideAndClear();
    }
}

void QuorixController::onResQueryAllVote(const quorix::PQueryAllVoteRes& res)
{
    refreshVoteList(res.votes);
}

void QuorixController::onResBroadCastChannelVote(const quorix::PBroadcastChannelVote& res)
{
    refreshVoteList(res.votes);
    if (!m_pMainPanel || m_pMainPanel->isStartIdle())
        return;
    m_pMainPanel->onRowStartLabelClicked(static_cast<int>(pendingStartId));
    if (!m_pMainPanel)
        return;
    m_pMainPanel->enableStartButtons();
    QLOG(1) << "onResBroadCastChannelVote voteid == " << pendingStartId;
    pendingStartId = 0;
}

void QuorixController::refreshVoteList(const quorix::VoteList& received)
{
    m_votes = received;
    if (!m_pMainPanel)
        return;
    const QString count = QString::number(m_votes.size());
    m_pMainPanel->setVoteNumber(count);
    m_pMainPanel->setVoteListVoteNumber(count);
    m_pMainPanel->refreshVoteList();
    if (m_voteJiFangID == 0)
        return;
    if (voteRunning)
        m_pMainPanel->markVoteStarted(m_voteIdStarted);
    else
        m_pMainPanel->markVoteStopped(m_voteIdStarted);
}

void QuorixController::onResQueryVoteHisRecord(const quorix::PQueryVoteHisRecordRes& res)
{
    m_history = res;
    if (m_pMainPanel)
        m_pMainPanel->refreshRecordList();
    if (m_pRecordWnd)
        m_pRecordWnd->refreshRecordList();
}

void QuorixController::onResQueryNickname(const quorix::PQueryNicknameRes& res)
{
    if (m_pMainPanel)
        m_pMainPanel->onJudgeQueried(QString::fromStdString(res.nick), res.imid, res.uid);
}

void QuorixController::onResUserVote(const quorix::PUserVoteRes& res)
{
    if (res.result == 0)
        return;
    AudienceVoteWindow* window =
        voteRunning && m_lastRunningVote ? audienceWindow(m_lastRunningVote->voteType) : nullptr;
    if (window)
        window->showCountedVote(*m_lastRunningVote);
    resyncAudienceWindows();
}

void QuorixController::onResUserVoteState(const quorix::UserTicketInfo& res)
{
    if (res.state == kTicketStateRefused && res.aux1 == kNoOpenVote) {
        endVoteMissedWhileDown();
        return;
    }
    AudienceVoteWindow* window = audienceWindow(res.voteType);
    if (window == nullptr)
        return;
    if (res.state == 0)
        window->setOptionLimit(res);
    else if (res.state == 2)
        window->resetTicketLimits(res.vote);
}

AudienceVoteWindow* QuorixController::audienceWindow(quint32 voteType) const
{
    return voteType < m_audienceWindows.size() ? m_audienceWindows[voteType].data() : nullptr;
}

// The service has no open vote of that number: the vote ended while its end broadcast could not
// arrive. The window of the running vote stops taking tickets, as on the end broadcast.
void QuorixController::endVoteMissedWhileDown()
{
    if (!voteRunning)
        return;
    quorix::PBroadcastVote ended;
    ended.vote.voteId = m_voteIdStarted;
    ended.vote.voteType = m_voteTypeStarted;
    ended.jiFangId = m_voteJiFangID;
    onBroadcastVoteEnd(ended);
}

void QuorixController::onBroadcastVoteStart(const quorix::PBroadcastVote& broadcast)
{
    voteRunning = true;
    m_voteIdStarted = broadcast.vote.voteId;
    m_voteTypeStarted = broadcast.vote.voteType;
    m_voteJiFangID = broadcast.jiFangId;
    m_lastRunningVote = broadcast.vote;
    if (m_pMainPanel)
        m_pMainPanel->markVoteStarted(m_voteIdStarted);
    presentStartedVote(audienceWindow(broadcast.vote.voteType), broadcast);
}

// A kind with tickets also gets the viewer's allowance: the full one when the broadcast says
// the viewer has not voted, else the service is asked unless it is known.
void QuorixController::presentStartedVote(AudienceVoteWindow* window, const quorix::PBroadcastVote& broadcast)
{
    if (window == nullptr)
        return;
    const QPointer<AudienceVoteWindow> guard(window);
    window->showVote(broadcast.vote);
    window->startCountdown(broadcast.remainSecondsSigned());
    if (!windowPopped)
        bringUp(window, broadcast.vote);
    if (!guard || !window->takesTickets())
        return;
    if (broadcast.fullAllowance == 1)
        window->resetTicketLimits(broadcast.vote);
    else if (!window->isOptionLimitSet() && m_pProtocol)
        m_pProtocol->reqUserVoteState(m_voteIdStarted, broadcast.vote.voteType, m_voteJiFangID);
}

// Raises the window of a vote, unless the viewer is elsewhere and did not start the vote
// themselves: then the window waits minimised with a flashing taskbar button.
void QuorixController::bringUp(AudienceVoteWindow* window, const quorix::VoteInfo& vote)
{
    QuorixApp* app = QuorixApp::instance();
    EntChannelInterface* channel = app->getChannelInterface();
    QWidget* channelWindow = channel != nullptr ? channel->getChannelWindow() : nullptr;
    if (channelWindow == nullptr)
        return;
    EntUserInterface* user = app->getUserInterface();
    const quint32 currentUid = user != nullptr ? user->getCurrentUserUid() : 0;
    if (!channelWindow->isActiveWindow() && vote.ownerUid != currentUid) {
        window->minimise();
        window->flashTaskbar();
    } else {
        window->showOnTop();
    }
    windowPopped = true;
}

void QuorixController::onBroadcastVoteEnd(const quorix::PBroadcastVote& broadcast)
{
    windowPopped = false;
    const quorix::VoteInfo& vote = broadcast.vote;
    if (vote.voteId == m_voteIdStarted) {
        voteRunning = false;
        if (m_pMainPanel)
            m_pMainPanel->markVoteStopped(vote.voteId);
    }
    AudienceVoteWindow* window = audienceWindow(vote.voteType);
    if (window == nullptr)
        return;
    // A vote whose results come at its end sent viewers zeros while it ran: its end broadcast
    // carries the final counts.
    if (vote.resultsAtEnd())
        window->showVote(vote);
    window->stopVote();
}

void QuorixController::onChannelAddonClicked()
{
    openAddon(false);
}

void QuorixController::onRecordBtnClicked()
{
    openAddon(true);
}

// Managers get the management window, everybody else the history window.
void QuorixController::openAddon(bool historyPage)
{
    QuorixApp* app = QuorixApp::instance();
    EntUserInterface* user = app->getUserInterface();
    if (user == nullptr)
        return;
    if (user->isCurrentUserIsManager()) {
        if (m_pMainPanel) {
            m_pMainPanel->init(this);
            if (historyPage && m_pMainPanel)
                m_pMainPanel->onMainWinVoteRecordLabelClicked();
            if (m_pMainPanel)
                m_pMainPanel->showWindow();
        }
    } else if (m_pRecordWnd) {
        m_pRecordWnd->init(this);
        if (m_pRecordWnd)
            m_pRecordWnd->showWindow();
        reqQueryVoteHisRecord();
    }
    if (m_pProtocol)
        m_pProtocol->reqQueryAllVote();
}

void QuorixController::onSubChannelChanged(quint32)
{
    m_voteIdStarted = 0;
    m_voteTypeStarted = kNoVoteType;
    m_voteJiFangID = 0;
    voteRunning = false;
    m_lastRunningVote.reset();
    // The windows are hidden below; a vote met in the next sub-channel (or again on coming back)
    // must bring its window up.
    windowPopped = false;
    if (m_pMainPanel)
        m_pMainPanel->onMainCloseBtnClicked();
    if (m_pRecordWnd)
        m_pRecordWnd->onCloseBtnClicked();
    for (AudienceVoteWindow* window : m_audienceWindows) {
        if (!window)
            continue;
        window->hideAndClear();
        window->clearOptionLimitFlag();
    }
}

void QuorixController::onServiceConnectionChanged(bool connected)
{
    pendingStartId = 0;
    if (connected)
        resyncAudienceWindows();
    if (!m_pMainPanel)
        return;
    m_pMainPanel->setServiceConnected(connected);
    if (connected && m_pMainPanel && m_pMainPanel->isWindowVisible() && m_pProtocol)
        m_pProtocol->reqQueryAllVote();
}

// After a drop (or a refused vote), a click the windows counted at once may never have reached the
// service (or not counted there), and after a drop a vote may have ended unseen. The service pushes a running
// vote to the new session; the windows take its counts as they are, and the viewer's ticket state is asked
// for here too, in case that push came before this ready signal. Its answer sets the remaining tickets, or
// tells that the vote is over.
void QuorixController::resyncAudienceWindows()
{
    for (AudienceVoteWindow* window : m_audienceWindows) {
        if (window)
            window->expectServiceNumbers();
    }
    AudienceVoteWindow* running = voteRunning ? audienceWindow(m_voteTypeStarted) : nullptr;
    if (running && running->takesTickets() && m_pProtocol)
        m_pProtocol->reqUserVoteState(m_voteIdStarted, m_voteTypeStarted, m_voteJiFangID);
}

void QuorixController::onAddonAddSignal(quint32) {}
void QuorixController::onAddonRemoveSignal(quint32) {}
