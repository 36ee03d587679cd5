#include "quorixprotocol.h"

QuorixProtocol::QuorixProtocol() = default;
QuorixProtocol::~QuorixProtocol() = default;

void QuorixProtocol::init(EntServiceInterface*, EntChannelInterface*, EntUserInterface*) {}
void QuorixProtocol::reqCreateVote(const quorix::VoteInfo&) {}
void QuorixProtocol::reqUpdateVote(const quorix::VoteInfo&) {}
void QuorixProtocol::reqStartVote(quint32) {}
void QuorixProtocol::reqEndVote(quint32, quint32) {}
void QuorixProtocol::reqDeleteVote(quint32, quint32) {}
void QuorixProtocol::reqUserVote(quint32, quint32, quint32, quint32, quint32) {}
void QuorixProtocol::reqUserVoteState(quint32, quint32, quint32) {}
void QuorixProtocol::reqQueryVoteHisRecord() {}
void QuorixProtocol::reqBatchDeleteVote(QMap<quint32, quint32>) {}
void QuorixProtocol::reqQueryAllVote() {}
void QuorixProtocol::reqQueryNickname(quint32) {}
void QuorixProtocol::reqCloseVote(quint32, quint32) {}
void QuorixProtocol::onDataArrivedSlot(quint32, quint32, const std::string&) {}
