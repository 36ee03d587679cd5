#include "quorixcontroller.h"

QuorixController::QuorixController() = default;
QuorixController::~QuorixController() = default;

void QuorixController::init(QuorixProtocol*, QuorixMainPanel*, QuorixDataCenter*, NormalVoteWin*, GroupVoteWin*,
                            JudgeVoteWin*, recordWnd*)
{
}
void QuorixController::addAppBoxBtn() {}
void QuorixController::reqStartVote(quint32) {}
void QuorixController::reqEndVote(quint32) {}
void QuorixController::reqCloseVote(quint32) {}
void QuorixController::reqDeleteVote(quint32, quint32) {}
void QuorixController::reqBatchDeleteVote(const QMap<quint32, quint32>&) {}
void QuorixController::reqCreateVote(const quorix::VoteInfo&) {}
void QuorixController::reqUpdateVote(const quorix::VoteInfo&) {}
void QuorixController::reqQueryVoteHisRecord() {}
void QuorixController::reqQueryNickname(quint32) {}
void QuorixController::reqUserVote2Option(quint32, quint32) {}
void QuorixController::reqJudgeScore(quint32) {}
bool QuorixController::hasOpenVote() const { return false; }
const quorix::VoteList& QuorixController::votes() const { return m_votes; }
const quorix::PQueryVoteHisRecordRes& QuorixController::history() const { return m_history; }
void QuorixController::onResCreateVote(const quorix::PCreateVoteRes&) {}
void QuorixController::onResUpdateVote(const quorix::PUpdateVoteRes&) {}
void QuorixController::onResStartVote(const quorix::PStartVoteRes&) {}
void QuorixController::onResEndVote(const quorix::PEndVoteRes&) {}
void QuorixController::onResCloseVoteUi(const quorix::PCloseVoteUiRes&) {}
void QuorixController::onResQueryAllVote(const quorix::PQueryAllVoteRes&) {}
void QuorixController::onResBroadCastChannelVote(const quorix::PBroadcastChannelVote&) {}
void QuorixController::onResQueryVoteHisRecord(const quorix::PQueryVoteHisRecordRes&) {}
void QuorixController::onResQueryNickname(const quorix::PQueryNicknameRes&) {}
void QuorixController::onResUserVoteState(const quorix::UserTicketInfo&) {}
void QuorixController::onBroadcastVoteStart(const quorix::PBroadcastVote&) {}
void QuorixController::onBroadcastVoteEnd(const quorix::PBroadcastVote&) {}
void QuorixController::onChannelAddonClicked() {}
void QuorixController::onRecordBtnClicked() {}
void QuorixController::onSubChannelChanged(quint32) {}
void QuorixController::onAddonAddSignal(quint32) {}
void QuorixController::onAddonRemoveSignal(quint32) {}
