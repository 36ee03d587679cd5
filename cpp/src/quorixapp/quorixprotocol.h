#pragma once

// Speaks the vote service's language: builds every request body and decodes every answer and
// push, reporting failures and passing each decoded message to its controller handler.
// Created without a parent and deleted by QuorixApp; holds the bridges through guarded pointers
// and keeps no state between messages. Never throws out of a request or the slot.

#include <quorix/protocol/votemessages.h>

#include <QMap>
#include <QObject>
#include <QPointer>

#include <functional>
#include <string>

class EntServiceInterface;
class EntChannelInterface;
class EntUserInterface;
class QuorixController;

class QuorixProtocol : public QObject
{
    Q_OBJECT
public:
    // Told the controller handler ("onResStartVote", …) each decoded message is handed to, just
    // before the controller is looked up; a diagnostic and test seam, unset by default.
    using DispatchObserver = std::function<void(const char* handler)>;

    QuorixProtocol();
    ~QuorixProtocol() override;

    void init(EntServiceInterface* serviceLink, EntChannelInterface* channel, EntUserInterface* user);
    void sendData(quint32 maxType, quint32 minType, const std::string& data);

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

    void setDispatchObserver(DispatchObserver observer);

    // The add-on's connection to the vote service is open; requests sent meanwhile are lost.
    bool isServiceConnected() const;

signals:
    void serviceConnectionChanged(bool connected);

public slots:
    void onDataArrivedSlot(quint32 maxType, quint32 minType, const std::string& data);

private:
    template <class Message> void sendRequest(quint32 minType, const Message& body);
    quint32 channelId() const;
    quint32 subChannelId() const;
    // A request body with the channel numbers of the user's place, read afresh for every request.
    template <class Request> Request placedRequest() const
    {
        Request req;
        req.channelId = channelId();
        req.subChannelId = subChannelId();
        return req;
    }
    quint32 currentUid() const;

    void resCreateVoteRes(const quorix::PCreateVoteRes& res);
    void resUpdateVoteRes(const quorix::PUpdateVoteRes& res);
    void resStartVote(const quorix::PStartVoteRes& res);
    void resEndVote(const quorix::PEndVoteRes& res);
    void resBroadcastVote(const quorix::PBroadcastVote& broadcast);
    void resQueryAllHis(const quorix::PQueryAllVoteRes& res);
    void resQueryVoteHisRecord(const quorix::PQueryVoteHisRecordRes& res);
    void resBroadcastChannelVote(const quorix::PBroadcastChannelVote& res);
    void resQueryNickname(const quorix::PQueryNicknameRes& res);
    void resUserVote(const quorix::PUserVoteRes& res);
    void resUserVoteState(const quorix::UserTicketInfo& res);
    void resCloseVoteUi(const quorix::PCloseVoteUiRes& res);

    // Hands `message` to the controller handler `handler`, if the application has a controller.
    template <class Message>
    void toController(const char* handler, void (QuorixController::*method)(const Message&),
                      const Message& message);

    QPointer<EntServiceInterface> m_pServiceInterface;
    QPointer<EntChannelInterface> m_pChannelInterface;
    QPointer<EntUserInterface> m_pUserInterface;
    DispatchObserver m_dispatchObserver;
};
