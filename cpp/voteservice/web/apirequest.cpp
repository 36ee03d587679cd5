#include "apirequest.h"

#include "historycsv.h"
#include "resultcode.h"
#include "resultwords.h"
#include "voteservicecore.h"
#include "votestorage.h"

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
                     const SessionIdentity& identity)
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
    const std::uint32_t voteId = route.voteId;
    // The join first: it brings the place's running vote, which the state and stop ask for.
    const auto opened = m_exchange.open(identity, [this, endpoint, voteId, jiFangId, csv] {
        switch (endpoint) {
        case WebEndpoint::VoteState:
            return voteState();
        case WebEndpoint::Votes:
            return votes();
        case WebEndpoint::History:
            return history(csv);
        default:
            return manage(endpoint, voteId, jiFangId);
        }
    });
    if (opened != CoreGateway::Opened::Yes)
        m_respond(refusedOpen(opened));
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
        m_respond(WebResponse::error(503, "no answer from the vote service"));
        return true;
    }
    const std::uint32_t result = answer->body.value("result", 0u);
    if (result == 0)
        return false;
    // Worded as the web face's own scope refusal (the core decides it for start, stop and close).
    const std::optional<AccessScope> scope = VoteServiceCore::scopeNeeded(requestType);
    if (result == kResultScopeMissing && scope) {
        m_respond(
            WebResponse::error(403, "token lacks the scope " + ScopeSet(*scope).words(), "scope", result));
        return true;
    }
    m_respond(WebResponse::error(ResultWords::httpStatus(requestType, result),
                                 ResultWords::words(requestType, result), {}, result));
    return true;
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
                       body["votes"] = answer->body.value("votes", FrameJson::Json::array());
                       m_respond(WebResponse::json(200, body));
                   });
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
        // Record keys grow as votes end: the highest key is the newest entry.
        FrameJson::Json entries = FrameJson::Json::array();
        const FrameJson::Json records = answer.body.value("records", FrameJson::Json::object());
        for (auto it = records.rbegin(); it != records.rend(); ++it)
            entries.push_back(*it);
        FrameJson::Json body = FrameJson::Json::object();
        body["history"] = std::move(entries);
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

} // namespace quorix::service
