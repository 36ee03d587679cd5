#include "groupvotewin.h"

GroupVoteWin::GroupVoteWin() = default;
GroupVoteWin::~GroupVoteWin() = default;

void GroupVoteWin::init(QuorixController*) {}
void GroupVoteWin::showVote(quorix::VoteInfo) {}
void GroupVoteWin::startCountdown(qint32) {}
void GroupVoteWin::stopVote() {}
void GroupVoteWin::showOnTop() {}
void GroupVoteWin::flashTaskbar() {}
void GroupVoteWin::setOptionLimit(quorix::UserTicketInfo) {}
void GroupVoteWin::resetTicketLimits(quorix::VoteInfo) {}
bool GroupVoteWin::isOptionLimitSet() const { return false; }
void GroupVoteWin::clearOptionLimitFlag() {}
void GroupVoteWin::hideAndClear() {}
void GroupVoteWin::minWnd() {}
