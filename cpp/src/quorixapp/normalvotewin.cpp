#include "normalvotewin.h"

NormalVoteWin::NormalVoteWin() = default;
NormalVoteWin::~NormalVoteWin() = default;

void NormalVoteWin::init(QuorixController*) {}
void NormalVoteWin::showVote(quorix::VoteInfo) {}
void NormalVoteWin::startCountdown(qint32) {}
void NormalVoteWin::stopVote() {}
void NormalVoteWin::showOnTop() {}
void NormalVoteWin::flashTaskbar() {}
void NormalVoteWin::setOptionLimit(quorix::UserTicketInfo) {}
void NormalVoteWin::resetTicketLimits(quorix::VoteInfo) {}
bool NormalVoteWin::isOptionLimitSet() const { return false; }
void NormalVoteWin::clearOptionLimitFlag() {}
void NormalVoteWin::hideAndClear() {}
void NormalVoteWin::onBtnClose() {}
