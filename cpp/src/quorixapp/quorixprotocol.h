#pragma once

// Speaks the vote service's language: builds every request body and decodes every answer and
// push, reporting failures and passing each decoded message to its controller handler.
// Created without a parent and deleted by QuorixApp; holds the bridges through guarded pointers
// and keeps no state between messages. Never throws out of a request or the slot.

#include <quorix/protocol/votemessagetable.h>

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

    // One per answer and push, picked by its row of the message table; the body is decoded.
    void receive(quorix::VoteMessage<quorix::VOTE_SYSTEM_CREATE_VOTE_RES>, const quorix::PCreateVoteRes& res);
    void receive(quorix::VoteMessage<quorix::VOTE_SYSTEM_UPDATE_VOTE_RES>, const quorix::PUpdateVoteRes& res);
    void receive(quorix::VoteMessage<quorix::VOTE_SYSTEM_START_VOTE_RES>, const quorix::PStartVoteRes& res);
    void receive(quorix::VoteMessage<quorix::VOTE_SYSTEM_END_VOTE_RES>, const quorix::PEndVoteRes& res);
    void receive(quorix::VoteMessage<quorix::VOTE_SYSTEM_USER_VOTE_RES>, const quorix::PUserVoteRes& res);
    void receive(quorix::VoteMessage<quorix::VOTE_SYSTEM_USER_VOTE_STATE_RES>,
                 const quorix::PUserVoteStateRes& res);
    void receive(quorix::VoteMessage<quorix::VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES>,
                 const quorix::PQueryVoteHisRecordRes& res);
    void receive(quorix::VoteMessage<quorix::VOTE_SYSTEM_BROADCAST_VOTE>, const quorix::PBroadcastVote& res);
    void receive(quorix::VoteMessage<quorix::VOTE_SYSTEM_QUERY_ALL_VOTE_RES>,
                 const quorix::PQueryAllVoteRes& res);
    void receive(quorix::VoteMessage<quorix::VOTE_SYSTEM_BROADCAST_CHANNEL_VOTE>,
                 const quorix::PBroadcastChannelVote& res);
    void receive(quorix::VoteMessage<quorix::VOTE_SYSTEM_QUERY_NICKNAME_RES>,
                 const quorix::PQueryNicknameRes& res);
    void receive(quorix::VoteMessage<quorix::VOTE_SYSTEM_CLOSE_VOTEUI_RES>,
                 const quorix::PCloseVoteUiRes& res);
    // The add-on does not act on deletion answers.
    void receive(quorix::VoteMessage<quorix::VOTE_SYSTEM_DELETE_VOTE_RES>, const quorix::PDeleteVoteRes&) {}
    void receive(quorix::VoteMessage<quorix::VOTE_SYSTEM_BATCH_DELETE_VOTE_RES>,
                 const quorix::PBatchDeleteVoteRes&)
    {}

    // Hands `message` to the controller handler `handler`, if the application has a controller.
    template <class Message>
    void toController(const char* handler, void (QuorixController::*method)(const Message&),
                      const Message& message);

    QPointer<EntServiceInterface> m_pServiceInterface;
    QPointer<EntChannelInterface> m_pChannelInterface;
    QPointer<EntUserInterface> m_pUserInterface;
    DispatchObserver m_dispatchObserver;
};
