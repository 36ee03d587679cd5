#include "quorixmainpanel.h"

QuorixMainPanel::QuorixMainPanel() = default;
QuorixMainPanel::~QuorixMainPanel() = default;

void QuorixMainPanel::init(QuorixController*) {}
void QuorixMainPanel::showWindow() {}
void QuorixMainPanel::showVoteListPage() {}
void QuorixMainPanel::setVoteNumber(const QString&) {}
void QuorixMainPanel::setVoteListVoteNumber(const QString&) {}
void QuorixMainPanel::refreshVoteList() {}
void QuorixMainPanel::markVoteStarted(quint32) {}
void QuorixMainPanel::markVoteStopped(quint32) {}
void QuorixMainPanel::resetVoteRows() {}
bool QuorixMainPanel::isStartIdle() const { return true; }
void QuorixMainPanel::enableStartButtons() {}
void QuorixMainPanel::onJudgeQueried(const QString&, quint32, quint32) {}
void QuorixMainPanel::refreshRecordList() {}
void QuorixMainPanel::onMainCloseBtnClicked() {}
void QuorixMainPanel::onMainWinVoteRecordLabelClicked() {}
void QuorixMainPanel::onRowStartLabelClicked(int) {}
