#include "voteservice/web/apirequest.h"

#include "voteservice/web/historycsv.h"
#include "voteservice/core/recordvalidator.h"
#include "voteservice/core/resultcode.h"
#include "voteservice/core/scheduleextend.h"
#include "voteservice/web/resultwords.h"
#include "voteservice/core/voteservicecore.h"
#include "voteservice/core/votestorage.h"

#include <quorix/protocol/serviceframe.h>
#include <quorix/protocol/votemessages.h>

namespace quorix::service {

namespace {
constexpr const char* kCsv = "text/csv; charset=utf-8";

WebResponse refusedOpen(CoreGateway::Opened opened)
{
    switch (opened) {
    case CoreGateway::Opened::TooManyForUser:
        return WebResponse::error(429, "too many sessions for this user");
    case CoreGateway::Opened::ServiceFull:
        return WebResponse::error(503, "service full");
    default:
        return WebResponse::error(503, "service stopping");
    }
}
} // namespace

ApiRequest::ApiRequest(WebContext& context, Respond respond)
    : m_respond(std::move(respond)), m_exchange(context.gateway, context.io, context.limits.answerTimeout)
{}

void ApiRequest::run(WebEndpoint endpoint, const WebRoute& route, const QueryParameters& query,
                     const SessionIdentity& identity, const std::string& body)
{
    m_identity = identity;
    std::optional<std::uint32_t> jiFangId;
    if (query.has("jiFangId")) {
        std::uint32_t value = 0;
        if (!query.number("jiFangId", value))
            return m_respond(WebResponse::error(400, "jiFangId is not a number", "jiFangId"));
        jiFangId = value;
    }
    const std::string* format = query.find("format");
    if (endpoint == WebEndpoint::History && format && *format != "csv" && *format != "json")
        return m_respond(WebResponse::error(400, "format is csv or json", "format"));
    const bool csv = format && *format == "csv";
    // The path's number: the vote's id, or the user's imid for a look-up.
    const std::uint32_t pathId = endpoint == WebEndpoint::User ? route.imid : route.voteId;
    if (!readBody(endpoint, pathId, query, body))
        return;
    // The join first: it brings the place's running vote, which the state and stop ask for.
    const auto opened = m_exchange.open(
        identity, [this, endpoint, pathId, jiFangId, csv] { serve(endpoint, pathId, jiFangId, csv); });
    if (opened != CoreGateway::Opened::Yes)
        m_respond(refusedOpen(opened));
}

bool ApiRequest::readBody(WebEndpoint endpoint, std::uint32_t voteId, const QueryParameters& query,
                          const std::string& body)
{
    VoteRequestBody::Refusal refusal;
    if (endpoint == WebEndpoint::VoteStart) {
        if (!VoteRequestBody::startAt(body, query.find("at"), m_startAt, refusal)) {
            m_respond(WebResponse::error(400, refusal.reason, refusal.field));
            return false;
        }
        return true;
    }
    if (endpoint == WebEndpoint::VoteCreate || endpoint == WebEndpoint::VoteReplace) {
        auto vote = VoteRequestBody::vote(body, endpoint == WebEndpoint::VoteCreate ? 0 : voteId, refusal);
        if (vote)
            m_vote = std::move(*vote);
        else
            m_respond(WebResponse::error(400, refusal.reason, refusal.field));
        return vote.has_value();
    }
    if (endpoint == WebEndpoint::VoteBatchDelete) {
        auto ids = VoteRequestBody::voteIds(body, refusal);
        if (ids)
            m_voteIds = std::move(*ids);
        else
            m_respond(WebResponse::error(400, refusal.reason, refusal.field));
        return ids.has_value();
    }
    if (endpoint == WebEndpoint::VoteDelete)
        m_voteIds = {voteId};
    return true;
}

void ApiRequest::serve(WebEndpoint endpoint, std::uint32_t pathId, std::optional<std::uint32_t> jiFangId,
                       bool csv)
{
    const std::uint32_t voteId = pathId;
    switch (endpoint) {
    case WebEndpoint::VoteState:
        return voteState();
    case WebEndpoint::Votes:
        return votes();
    case WebEndpoint::VoteRead:
        return readVote(voteId, 200);
    case WebEndpoint::VoteCreate:
    case WebEndpoint::VoteReplace:
        return store(endpoint);
    case WebEndpoint::VoteDelete:
        return remove(false);
    case WebEndpoint::VoteBatchDelete:
        return remove(true);
    case WebEndpoint::History:
        return history(csv);
    case WebEndpoint::User:
        return user(pathId);
    case WebEndpoint::VoteUnschedule:
        return schedule(voteId, true);
    case WebEndpoint::VoteStart:
        if (m_startAt)
            return schedule(voteId, false);
        return manage(endpoint, voteId, jiFangId);
    default:
        return manage(endpoint, voteId, jiFangId);
    }
}

void ApiRequest::voteState()
{
    const auto& broadcast = m_exchange.broadcast();
    m_exchange.finish();
    if (!broadcast)
        return m_respond(WebResponse::error(404, "no vote"));
    m_respond(WebResponse::json(200, FrameJson::voteState(*broadcast, m_identity.place(),
                                                          m_exchange.broadcastHz(m_identity.place()))));
}

bool ApiRequest::refusedByCore(const std::optional<FrameJson::Decoded>& answer, std::uint32_t requestType)
{
    if (!answer) {
        m_exchange.finish();
        m_respond(WebResponse::error(503, "no answer from the vote service"));
        return true;
    }
    const std::uint32_t result = answer->body.value("result", 0u);
    if (result == 0)
        return false;
    refuse(requestType, result);
    return true;
}

void ApiRequest::refuse(std::uint32_t requestType, std::uint32_t result)
{
    m_exchange.finish();
    // Worded as the web face's own scope refusal (the core decides it for the vote changes).
    const std::optional<AccessScope> scope = VoteServiceCore::scopeNeeded(requestType);
    if (result == kResultScopeMissing && scope)
        return m_respond(
            WebResponse::error(403, "token lacks the scope " + ScopeSet(*scope).words(), "scope", result));
    // A record the core does not store: the member that breaks its first rule.
    const bool stores =
        requestType == VOTE_SYSTEM_CREATE_VOTE_REQ || requestType == VOTE_SYSTEM_UPDATE_VOTE_REQ;
    const char* fault = stores && result == kResultInvalidRecord ? RecordValidator::fault(m_vote) : nullptr;
    if (result == kResultStartTimePassed || result == kResultStartTimeTooFar)
        fault = "at";
    m_respond(WebResponse::error(ResultWords::httpStatus(requestType, result),
                                 ResultWords::words(requestType, result), fault ? fault : "", result));
}

void ApiRequest::votes()
{
    const PQueryAllVoteReq request{m_identity.channelId, m_identity.subChannelId, {}};
    m_exchange.ask(VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, mpak::encode(request), VOTE_SYSTEM_QUERY_ALL_VOTE_RES,
                   [this](std::optional<FrameJson::Decoded> answer) {
                       m_exchange.finish();
                       if (refusedByCore(answer, VOTE_SYSTEM_QUERY_ALL_VOTE_REQ))
                           return;
                       FrameJson::Json body = FrameJson::Json::object();
                       body["votes"] = FrameJson::listedVotes(answer->body);
                       m_respond(WebResponse::json(200, body));
                   });
}

void ApiRequest::readVote(std::uint32_t voteId, int status)
{
    const PQueryAllVoteReq request{m_identity.channelId, m_identity.subChannelId, {}};
    m_exchange.ask(VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, mpak::encode(request), VOTE_SYSTEM_QUERY_ALL_VOTE_RES,
                   [this, voteId, status](std::optional<FrameJson::Decoded> answer) {
                       if (refusedByCore(answer, VOTE_SYSTEM_QUERY_ALL_VOTE_REQ))
                           return;
                       m_exchange.finish();
                       for (auto& vote : FrameJson::listedVotes(answer->body)) {
                           if (vote.value("voteId", 0u) != voteId)
                               continue;
                           WebResponse response = WebResponse::json(status, vote);
                           if (status == 201)
                               response.headers.emplace_back("Location", votePath(voteId));
                           return m_respond(std::move(response));
                       }
                       m_respond(WebResponse::error(404, "no such vote"));
                   });
}

std::string ApiRequest::votePath(std::uint32_t voteId) const
{
    return "/api/v1/channels/" + std::to_string(m_identity.channelId) + "/votes/" + std::to_string(voteId);
}

void ApiRequest::store(WebEndpoint endpoint)
{
    const SessionIdentity& who = m_identity;
    const bool create = endpoint == WebEndpoint::VoteCreate;
    const std::uint32_t requestType = create ? VOTE_SYSTEM_CREATE_VOTE_REQ : VOTE_SYSTEM_UPDATE_VOTE_REQ;
    const std::string body =
        create ? mpak::encode(PCreateVoteReq{who.channelId, who.subChannelId, m_vote, {}})
               : mpak::encode(PUpdateVoteReq{who.channelId, who.subChannelId, m_vote.voteId, m_vote, {}});
    m_exchange.ask(requestType, body, requestType + 1,
                   [this, requestType, create](std::optional<FrameJson::Decoded> answer) {
                       if (!refusedByCore(answer, requestType))
                           readVote(answer->body.value("voteId", 0u), create ? 201 : 200);
                   });
}

void ApiRequest::remove(bool batch)
{
    const PQueryAllVoteReq request{m_identity.channelId, m_identity.subChannelId, {}};
    m_exchange.ask(VOTE_SYSTEM_QUERY_ALL_VOTE_REQ, mpak::encode(request), VOTE_SYSTEM_QUERY_ALL_VOTE_RES,
                   [this, batch](std::optional<FrameJson::Decoded> listed) {
                       if (listed)
                           askRemoval(batch, typesOf(listed->body));
                       else
                           refusedByCore(listed, VOTE_SYSTEM_QUERY_ALL_VOTE_REQ);
                   });
}

U32Map ApiRequest::typesOf(const FrameJson::Json& listAnswer) const
{
    // A list refused (no manager) leaves the types 0: the delete is still asked, so that the core
    // refuses and audits it.
    U32Map voteTypes;
    for (const std::uint32_t voteId : m_voteIds)
        voteTypes[voteId] = 0;
    for (const auto& vote : listAnswer.value("votes", FrameJson::Json::array())) {
        const auto it = voteTypes.find(vote.value("voteId", 0u));
        if (it != voteTypes.end())
            it->second = vote.value("voteType", 0u);
    }
    return voteTypes;
}

void ApiRequest::askRemoval(bool batch, const U32Map& voteTypes)
{
    const SessionIdentity& who = m_identity;
    const std::uint32_t requestType = batch ? VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ : VOTE_SYSTEM_DELETE_VOTE_REQ;
    const auto& [voteId, voteType] = *voteTypes.begin();
    const std::string body =
        batch ? mpak::encode(PBatchDeleteVoteReq{who.channelId, who.subChannelId, voteTypes, {}})
              : mpak::encode(PDeleteVoteReq{who.channelId, who.subChannelId, voteId, voteType, {}});
    m_exchange.ask(requestType, body, requestType + 1,
                   [this, batch, requestType](std::optional<FrameJson::Decoded> answer) {
                       if (answer)
                           answerRemoved(batch, *answer);
                       else
                           refusedByCore(answer, requestType);
                   });
}

void ApiRequest::answerRemoved(bool batch, const FrameJson::Decoded& answer)
{
    m_exchange.finish();
    if (!batch) {
        const std::uint32_t result = answer.body.value("result", 0u);
        if (result != 0)
            return refuse(VOTE_SYSTEM_DELETE_VOTE_REQ, result);
        WebResponse response;
        response.status = 204;
        response.contentType.clear();
        return m_respond(std::move(response));
    }
    // aux1: the first refusal's code, aux2: how many were deleted, aux4: each vote's code.
    const std::uint32_t result = answer.body.value("aux1", 0u);
    const std::uint32_t deleted = answer.body.value("aux2", 0u);
    if (deleted == 0 && result != 0)
        return refuse(VOTE_SYSTEM_BATCH_DELETE_VOTE_REQ, result);
    FrameJson::Json body = FrameJson::Json::object();
    body["result"] = result;
    body["deleted"] = deleted;
    body["results"] = answer.body.value("aux4", FrameJson::Json::object());
    m_respond(WebResponse::json(200, body));
}

std::uint32_t ApiRequest::runningJiFangId(std::uint32_t voteId) const
{
    const auto& broadcast = m_exchange.broadcast();
    if (!broadcast || !broadcast->contains("vote"))
        return 0;
    if (broadcast->at("vote").value("voteId", 0u) != voteId)
        return 0;
    return broadcast->value("jiFangId", 0u);
}

void ApiRequest::manage(WebEndpoint endpoint, std::uint32_t voteId, std::optional<std::uint32_t> jiFangId)
{
    const SessionIdentity& who = m_identity;
    const std::uint32_t jiFang = jiFangId ? *jiFangId : runningJiFangId(voteId);
    std::uint32_t requestType = VOTE_SYSTEM_START_VOTE_REQ;
    std::string body;
    if (endpoint == WebEndpoint::VoteStart) {
        body = mpak::encode(PStartVoteReq{who.channelId, who.subChannelId, voteId, who.uid, {}});
    } else if (endpoint == WebEndpoint::VoteStop) {
        requestType = VOTE_SYSTEM_END_VOTE_REQ;
        body = mpak::encode(PEndVoteReq{who.channelId, who.subChannelId, voteId, 0, jiFang, {}});
    } else {
        requestType = VOTE_SYSTEM_CLOSE_VOTEUI_REQ;
        body = mpak::encode(PCloseVoteReq{who.channelId, who.subChannelId, voteId, jiFang, {}});
    }
    m_exchange.ask(requestType, body, requestType + 1,
                   [this, requestType](std::optional<FrameJson::Decoded> answer) {
                       m_exchange.finish();
                       if (refusedByCore(answer, requestType))
                           return;
                       FrameJson::Json result = FrameJson::Json::object();
                       result["result"] = 0;
                       result["voteId"] = answer->body.value("voteId", 0u);
                       result["jiFangId"] = answer->body.value("jiFangId", 0u);
                       m_respond(WebResponse::json(200, result));
                   });
}

void ApiRequest::schedule(std::uint32_t voteId, bool cancel)
{
    const SessionIdentity& who = m_identity;
    PStartVoteReq request{who.channelId, who.subChannelId, voteId, who.uid, {}};
    if (cancel)
        request.extend[ScheduleExtend::kCancel] = "1";
    else
        request.extend[ScheduleExtend::kStartAt] = std::to_string(*m_startAt);
    m_exchange.ask(VOTE_SYSTEM_START_VOTE_REQ, mpak::encode(request), VOTE_SYSTEM_START_VOTE_RES,
                   [this, cancel, voteId](std::optional<FrameJson::Decoded> answer) {
                       m_exchange.finish();
                       if (refusedByCore(answer, VOTE_SYSTEM_START_VOTE_REQ))
                           return;
                       if (cancel) {
                           WebResponse response;
                           response.status = 204;
                           response.contentType.clear();
                           return m_respond(std::move(response));
                       }
                       FrameJson::Json body = FrameJson::Json::object();
                       body["result"] = 0;
                       body["voteId"] = voteId;
                       body["schedule"] = {{"at", *m_startAt}, {"state", "pending"}};
                       m_respond(WebResponse::json(200, body));
                   });
}

void ApiRequest::history(bool csv)
{
    const PQueryVoteHisRecordReq request{m_identity.channelId, m_identity.subChannelId, {}};
    m_exchange.ask(VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ, mpak::encode(request),
                   VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_RES,
                   [this, csv](std::optional<FrameJson::Decoded> answer) {
                       m_exchange.finish();
                       if (!refusedByCore(answer, VOTE_SYSTEM_QUERY_VOTE_HIS_RECORD_REQ))
                           answerHistory(*answer, csv);
                   });
}

void ApiRequest::answerHistory(const FrameJson::Decoded& answer, bool csv)
{
    if (!csv) {
        FrameJson::Json body = FrameJson::Json::object();
        body["history"] = FrameJson::historyRecords(answer.body);
        return m_respond(WebResponse::json(200, body));
    }
    PQueryVoteHisRecordRes decoded;
    if (!mpak::decode(mpak::decodeFrame(std::string(answer.frame.frame())).payload, decoded))
        return m_respond(WebResponse::error(503, "history answer unreadable"));
    std::vector<HistoryEntry> entries;
    for (auto it = decoded.records.rbegin(); it != decoded.records.rend(); ++it) {
        HistoryEntry entry;
        entry.record = it->second;
        entries.push_back(std::move(entry));
    }
    WebResponse response;
    response.contentType = kCsv;
    response.body = HistoryCsv::write(entries);
    m_respond(std::move(response));
}

void ApiRequest::user(std::uint32_t imid)
{
    const PQueryNicknameReq request{imid, {}};
    m_exchange.ask(VOTE_SYSTEM_QUERY_NICKNAME_REQ, mpak::encode(request), VOTE_SYSTEM_QUERY_NICKNAME_RES,
                   [this](std::optional<FrameJson::Decoded> answer) {
                       m_exchange.finish();
                       if (refusedByCore(answer, VOTE_SYSTEM_QUERY_NICKNAME_REQ))
                           return;
                       // uid 0: the directory has no such user.
                       if (answer->body.value("uid", 0u) == 0)
                           return m_respond(WebResponse::error(404, "no such user"));
                       FrameJson::Json body = FrameJson::Json::object();
                       for (const char* member : {"imid", "uid", "nick"})
                           body[member] = answer->body.value(member, FrameJson::Json());
                       m_respond(WebResponse::json(200, body));
                   });
}

} // namespace quorix::service
