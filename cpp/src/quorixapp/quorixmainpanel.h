#pragma once

#include "codec/voterecords.h"

#include <QObject>
#include <QPointer>

class QuorixController;

class QuorixMainPanel : public QObject
{
    Q_OBJECT
public:
    QuorixMainPanel();
    ~QuorixMainPanel() override;

    void init(QuorixController* controller);
    void showWindow();
    void showVoteListPage();
    void setVoteNumber(const QString& text);
    void setVoteListVoteNumber(const QString& text);
    void refreshVoteList();
    void markVoteStarted(quint32 voteId);
    void markVoteStopped(quint32 voteId);
    void resetVoteRows();
    bool isStartIdle() const;
    void enableStartButtons();
    void onJudgeQueried(const QString& nick, quint32 imid, quint32 uid);
    void refreshRecordList();

public slots:
    void onMainCloseBtnClicked();
    void onMainWinVoteRecordLabelClicked();
    void onRowStartLabelClicked(int voteId);
};
