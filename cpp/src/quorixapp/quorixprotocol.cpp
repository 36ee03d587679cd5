#include "src/quorixapp/quorixprotocol.h"

#include "src/quorixapp/entchannelinterface.h"
#include "src/quorixapp/entserviceinterface.h"
#include "src/quorixapp/entuserinteface.h"
#include "src/quorixapp/quorixapp.h"
#include "src/quorixapp/quorixcontroller.h"
#include "src/quorixlog/quorixlog.h"

#include "panemessagebox.h"

#include <exception>
#include <map>
#include <type_traits>

using namespace quorix;

namespace {

// The non-modal box for failed create, update and start answers: no parent, one Ok button, no
// default button, nobody told of the answer.
void showFailureBox(quint32 result)
{
    PaneMessageBox::warningAsync(nullptr, QString::fromUtf8("投票提示"),
                                 QString::fromUtf8("操作失败，请稍后重新尝试（%1）").arg(result),
                                 QMessageBox::Ok, QMessageBox::NoButton, nullptr, nullptr);
}

// Level-1 text of a failed start answer; nullptr for codes outside 1 to 6.
const char* startFailureText(quint32 result)
{
    static const char* const texts[] = {"START_VOTE_DB_ERROR!! ",    "START_VOTE_NOT_EXIST!! ",
                                        "START_VOTE_REDIS_ERROR!! ", "START_VOTE_OTHER_STARTED!! ",
                                        "START_VOTE_WEBDB_ERR!! ",   "START_VOTE_NO_AUTh!! "};
    return result >= 1 && result <= 6 ? texts[result - 1] : nullptr;
}

const char* endFailureText(quint32 result)
{
    static const char* const texts[] = {"END_VOTE_DB_ERROR!! ", "END_VOTE_REDIS_ERROR!! ",
                                        "END_VOTE_NOT_EXIST!! ", "END_VOTE_SERVER_DOWN!! "};
    return result >= 1 && result <= 4 ? texts[result - 1] : "UNKNOWN ERROR!! ";
}

// List and history bodies replace what the windows and stores hold, so one that is cut short is
// dropped with a log line instead of being read as a shorter (often empty) list. Every other body
// is used as far as it decodes, the rest of its fields at their defaults.
template <class Body>
constexpr bool kReplacesList =
    std::is_same_v<Body, PQueryVoteHisRecordRes> || std::is_same_v<Body, PQueryAllVoteRes> ||
    std::is_same_v<Body, PBroadcastChannelVote>;

template <class Body> bool decodedForUse(const std::string& data, quint32 minType, Body& body)
{
    if (mpak::decode(data, body) || !kReplacesList<Body>)
        return true;
    QLOG(1) << "message " << minType << " does not decode completely: dropped";
    return false;
}

} // namespace

QuorixProtocol::QuorixProtocol() = default;
QuorixProtocol::~QuorixProtocol() = default;

void QuorixProtocol::init(EntServiceInterface* serviceLink, EntChannelInterface* channel,
                          EntUserInterface* user)
{
    m_pServiceInterface = serviceLink;
    m_pChannelInterface = channel;
    m_pUserInterface = user;
    if (!m_pServiceInterface)
        return;
    connect(m_pServiceInterface.data(), &EntServiceInterface::dataArrivedSignal, this,
            &QuorixProtocol::onDataArrivedSlot, Qt::UniqueConnection);
    connect(m_pServiceInterface.data(), &EntServiceInterface::connectionStateChanged, this,
            &QuorixProtocol::serviceConnectionChanged, Qt::UniqueConnection);
}

bool QuorixProtocol::isServiceConnected() const
{
    return m_pServiceInterface && m_pServiceInterface->isConnected();
}

void QuorixProtocol::setDispatchObserver(DispatchObserver observer)
{
    m_dispatchObserver = std::move(observer);
}

void QuorixProtocol::sendData(quint32 maxType, quint32 minType, const std::string& data)
{
    if (!m_pServiceInterface) {
        QLOG(1) << "m_pServiceInterface is null. send fail";
        return;
    }
    m_pServiceInterface->sendData(maxType, minType, data);
}

quint32 QuorixProtocol::channelId() const
{
    return m_pChannelInterface ? m_pChannelInterface->getChannelId() : 0;
}

quint32 QuorixProtocol::subChannelId() const
{
    return m_pChannelInterface ? m_pChannelInterface->getSubChannelId() : 0;
}

quint32 QuorixProtocol::currentUid() const
{
    return m_pUserInterface ? m_pUserInterface->getCurrentUserUid() : 0;
}

// A body that cannot be encoded or framed (a text or payload over 65535 bytes) is dropped with a
// log line instead of letting the error reach the UI slot that asked for it.
template <class Message> void QuorixProtocol::sendRequest(quint32 minType, const Message& body)
{
    try {
        sendData(kVoteMajorType, minType, mpak::encode(body));
    } catch (const mpak::PackError& e) {
        QLOG(1) << "request " << minType << " dropped, body cannot be encoded: " << e.what();
    }
}

void QuorixProtocol::reqCreateVote(const VoteInfo& vote)
{
    auto req = placedRequest<PCreateVoteReq>();
    req.vote = vote;
    sendRequest(VOTE_SYSTEM_CREATE_VOTE_REQ, req);
}

void QuorixProtocol::reqUpdateVote(const VoteInfo& vote)
{
    auto req = placedRequest<PUpdateVoteReq>();
    req.voteId = vote.voteId;
    req.vote = vote;
    sendRequest(VOTE_SYSTEM_UPDATE_VOTE_REQ, req);
}

void QuorixProtocol::reqStartVote(quint32 voteId)
{
    QLOG(2) << "reqStartVote voteId is " << voteId;
    auto req = placedRequest<PStartVoteReq>();
    req.voteId = voteId;
    req.uid = currentUid();
    sendRequest(VOTE_SYSTEM_START_VOTE_REQ, req);
}

void QuorixProtocol::reqEndVote(quint32 voteId, quint32 jiFangId)
{
    QLOG(2) << "reqEndVote voteId is " << voteId;
    auto req = placedRequest<PEndVoteReq>();
    req.voteId = voteId;
    req.jiFangId = jiFangId;
    sendRequest(VOTE_SYSTEM_END_VOTE_REQ, req);
}

void QuorixProtocol::reqDeleteVote(quint32 voteId, quint32 voteType)
{
    QLOG(2) << "voteId is " << voteId << " and voteType is " << voteType;
    auto req = placedRequest<PDeleteVoteReq>();
    req.voteId = voteId;
    req.voteType = voteType;
    sendRequest(VOTE_SYSTEM_DELETE_VOTE_REQ, req);
}

void QuorixProtocol::reqUserVote(quint32 optionId, quint32 tickets, quint32 jiFangId, quint32 voteId,
                                 quint32 voteType)
{
    auto req = placedRequest<PUserVoteReq>();
    req.voteId = voteId;
    req.voteType = voteType;
    req.jiFangId = jiFangId;
    req.uid = currentUid();
    req.optionId = optionId;
    req.tickets = tickets;
    sendRequest(VOTE_SYSTEM_USER_VOTE_REQ, req);
}

void QuorixProtocol::reqUserVoteState(quint32 voteId, quint32 voteType, quint32 jiFangId)
{
    auto req = placedRequest<PUserVoteStateReq>();
    req.voteId = voteId;
    req.voteType = voteType;
    req.jiFangId = jiFangId;
    req.uid = currentUid();
    sendRequest(VOTE_SYSTEM_USER_VOTE_STATE_REQ, req);
}

void QuorixProtocol::reqQueryVoteHisRecord()
{
    auto req = placedRequest<PQueryVoteHisRecordReq>();
    sendRequest(VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, req);
}

void QuorixProtocol::reqBatchDeleteVote(QMap<quint32, quint32> voteIdToType)
{
    QLOG(2) << "the size of Id_Type is " << voteIdToType.size();
    auto req = placedRequest<PBatchDeleteVoteReq>();
    for (auto it = voteIdToType.cbegin(); it != voteIdToType.cend(); ++it)
        req.voteTypes.emplace(it.key(), it.value());
    sendRequest(VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ, req);
}

void QuorixProtocol::reqQueryAllVote()
{
    auto req = placedRequest<PQueryAllVoteReq>();
    sendRequest(VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, req);
}

void QuorixProtocol::reqQueryNickname(quint32 imid)
{
    PQueryNicknameReq req;
    req.imid = imid;
    sendRequest(VOTE_SYSTEM_QUERY_NICKNAME_REQ, req);
}

void QuorixProtocol::reqCloseVote(quint32 voteId, quint32 jiFangId)
{
    QLOG(2) << "reqCloseVote voteId is " << voteId;
    auto req = placedRequest<PCloseVoteReq>();
    req.voteId = voteId;
    req.jiFangId = jiFangId;
    sendRequest(VOTE_SYSTEM_CLOSE_VOTEUI_REQ, req);
}

// Controller handlers and the failure box run inside the try block; nothing they throw may reach
// the service link's signal emission.
void QuorixProtocol::onDataArrivedSlot(quint32 maxType, quint32 minType, const std::string& data)
{
    if (maxType != kVoteMajorType)
        return;
    try {
        // Requests are the service's to read; an answer or push goes to its receive().
        visitVoteMessage(minType, [&](auto message) {
            using Message = decltype(message);
            if constexpr (Message::kind != VoteMessageKind::Request) {
                QLOG(1) << Message::name << " msg has recieved";
                typename Message::Body body;
                if (decodedForUse(data, minType, body))
                    receive(message, body);
            }
        });
    } catch (const std::exception& e) {
        QLOG(1) << "handling of message " << minType << " failed: " << e.what();
    } catch (...) {
        QLOG(1) << "handling of message " << minType << " failed";
    }
}

template <class Message>
void QuorixProtocol::toController(const char* handler, void (QuorixController::*method)(const Message&),
                                  const Message& message)
{
    if (m_dispatchObserver)
        m_dispatchObserver(handler);
    QuorixApp* app = QuorixApp::instance();
    QuorixController* controller = app != nullptr ? app->getController() : nullptr;
    if (controller != nullptr)
        (controller->*method)(message);
}

void QuorixProtocol::receive(VoteMessage<VOTE_SYSTEM_CREATE_VOTE_RES>, const PCreateVoteRes& res)
{
    if (res.result != 0) {
        QLOG(1) << "request create vote fail!! ";
        showFailureBox(res.result);
        return;
    }
    toController("onResCreateVote", &QuorixController::onResCreateVote, res);
}

void QuorixProtocol::receive(VoteMessage<VOTE_SYSTEM_UPDATE_VOTE_RES>, const PUpdateVoteRes& res)
{
    if (res.result != 0) {
        QLOG(1) << "resUpdateVoteRes fail!! ";
        showFailureBox(res.result);
        return;
    }
    toController("onResUpdateVote", &QuorixController::onResUpdateVote, res);
}

void QuorixProtocol::receive(VoteMessage<VOTE_SYSTEM_START_VOTE_RES>, const PStartVoteRes& res)
{
    QLOG(2) << "recieve PStartVoteRes,result is " << res.result << " and vote_id is " << res.voteId;
    if (res.result == 0) {
        toController("onResStartVote", &QuorixController::onResStartVote, res);
        return;
    }
    const char* failure = startFailureText(res.result);
    if (failure == nullptr) {
        QLOG(1) << "UNKNOWN ERROR!! ";
        return;
    }
    QLOG(1) << failure;
    showFailureBox(res.result);
}

void QuorixProtocol::receive(VoteMessage<VOTE_SYSTEM_END_VOTE_RES>, const PEndVoteRes& res)
{
    QLOG(2) << "recieve PEndVoteRes,result is " << res.result << " and vote_id is " << res.voteId;
    if (res.result == 0) {
        toController("onResEndVote", &QuorixController::onResEndVote, res);
        return;
    }
    QLOG(1) << endFailureText(res.result);
}

void QuorixProtocol::receive(VoteMessage<VOTE_SYSTEM_BROADCAST_VOTE>, const PBroadcastVote& broadcast)
{
    QLOG(2) << "recieve PBroadcastVote, vote statue is " << broadcast.status << "and vote id is "
            << broadcast.vote.voteId;
    if (broadcast.status == kVoteStarted)
        toController("onBroadcastVoteStart", &QuorixController::onBroadcastVoteStart, broadcast);
    else if (broadcast.status == kVoteEnded)
        toController("onBroadcastVoteEnd", &QuorixController::onBroadcastVoteEnd, broadcast);
    else
        QLOG(1) << "UNKNOWN VOTE STATUE!! ";
}

void QuorixProtocol::receive(VoteMessage<VOTE_SYSTEM_QUERY_ALL_VOTE_RES>, const PQueryAllVoteRes& res)
{
    if (res.result != 0) {
        QLOG(1) << "request query vote histrory fail!! ";
        return;
    }
    toController("onResQueryAllVote", &QuorixController::onResQueryAllVote, res);
}

void QuorixProtocol::receive(VoteMessage<VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES>,
                             const PQueryVoteHisRecordRes& res)
{
    if (res.result != 0) {
        QLOG(1) << "request query vote histrory fail!! ";
        return;
    }
    toController("onResQueryVoteHisRecord", &QuorixController::onResQueryVoteHisRecord, res);
}

void QuorixProtocol::receive(VoteMessage<VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE>,
                             const PBroadcastChannelVote& res)
{
    toController("onResBroadCastChannelVote", &QuorixController::onResBroadCastChannelVote, res);
}

void QuorixProtocol::receive(VoteMessage<VOTE_SYSTEM_QUERY_NICKNAME_RES>, const PQueryNicknameRes& res)
{
    toController("onResQueryNickname", &QuorixController::onResQueryNickname, res);
}

void QuorixProtocol::receive(VoteMessage<VOTE_SYSTEM_USER_VOTE_RES>, const PUserVoteRes& res)
{
    QLOG(1) << "VOTE_SYSTEM_USER_VOTE_RES msg result  " << res.result;
    toController("onResUserVote", &QuorixController::onResUserVote, res);
}

void QuorixProtocol::receive(VoteMessage<VOTE_SYSTEM_USER_VOTE_STATE_RES>, const PUserVoteStateRes& res)
{
    toController("onResUserVoteState", &QuorixController::onResUserVoteState, res);
}

void QuorixProtocol::receive(VoteMessage<VOTE_SYSTEM_CLOSE_VOTEUI_RES>, const PCloseVoteUiRes& res)
{
    toController("onResCloseVoteUi", &QuorixController::onResCloseVoteUi, res);
}
