#pragma once

// Speaks the vote service's language: builds every request body and decodes every answer and
// push, reporting failures and passing each decoded message to its controller handler.

#include "codec/votemessages.h"

#include <QMap>
#include <QObject>
#include <QPointer>

#include <string>

class EntServiceInterface;
class EntChannelInterface;
class EntUserInterface;

class QuorixProtocol : public QObject
{
    Q_OBJECT
public:
    QuorixProtocol();
    ~QuorixProtocol() override;

    void init(EntServiceInterface* serviceLink, EntChannelInterface* channel, EntUserInterface* user);

    void reqCreateVote(const quorix::VoteInfo& vote);
    void reqUpdateVote(const quorix::VoteInfo& vote);
    void reqStartVote(quint32 voteId);
    void reqEndVote(quint32 voteId, quint32 jiFangId);
    void reqDeleteVote(quint32 voteId, quint32 voteType);
    void reqUserVote(quint32 optionId, quint32 tickets, quint32 jiFangId, quint32 voteId, quint32 voteType);
    void reqUserVoteState(quint32 voteId, quint32 voteType, quint32 jiFangId);
    void reqQueryVoteHisRecord();
    void reqBatchDeleteVote(QMap<quint32, quint32> voteIdToType);
    void reqQueryAllVote();
    void reqQueryNickname(quint32 imid);
    void reqCloseVote(quint32 voteId, quint32 jiFangId);

public slots:
    void onDataArrivedSlot(quint32 maxType, quint32 minType, const std::string& data);
};
