#include "judgevotewin.h"

JudgeVoteWin::JudgeVoteWin() = default;
JudgeVoteWin::~JudgeVoteWin() = default;

void JudgeVoteWin::init(QuorixController*) {}
void JudgeVoteWin::showVote(quorix::VoteInfo) {}
void JudgeVoteWin::startCountdown(qint32) {}
void JudgeVoteWin::stopVote() {}
void JudgeVoteWin::showOnTop() {}
void JudgeVoteWin::flashTaskbar() {}
void JudgeVoteWin::hide() {}
void JudgeVoteWin::onJudgeWinClose() {}
