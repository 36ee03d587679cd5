#pragma once

// One plain API request (vote state, vote list, a vote's create, read, replace and delete,
// start/stop/close, history, the user directory's look-up) carried out as a core session: the request body is
// what a host would send, the core's answer becomes the JSON (or CSV) response. The core decides; this only
// asks and translates.

#include "voteservice/web/coreexchange.h"
#include "voteservice/web/queryparameters.h"
#include "voteservice/core/sessionidentity.h"
#include "voteservice/web/voterequestbody.h"
#include "voteservice/web/webcontext.h"
#include "voteservice/web/webresponse.h"
#include "voteservice/web/webrouter.h"

#include <functional>
#include <vector>

namespace quorix::service {

class ApiRequest
{
public:
    using Respond = std::function<void(WebResponse)>;

    ApiRequest(WebContext& context, Respond respond);

    // identity sits in the place the request is about; body is the request's; respond is called once.
    void run(WebEndpoint endpoint, const WebRoute& route, const QueryParameters& query,
             const SessionIdentity& identity, const std::string& body);

private:
    // What the request's body asks for, read before any core session opens; false when refused.
    bool readBody(WebEndpoint endpoint, std::uint32_t voteId, const QueryParameters& query,
                  const std::string& body);
    void serve(WebEndpoint endpoint, std::uint32_t pathId, std::optional<std::uint32_t> jiFangId, bool csv);
    void voteState();
    void votes();
    // Answers status with the stored vote voteId as the vote list shows it (404 without it).
    void readVote(std::uint32_t voteId, int status);
    // The create or the replace of m_vote, then its stored form.
    void store(WebEndpoint endpoint);
    // The votes' types from the list, then their delete as the desktop editor asks for it.
    void remove(bool batch);
    // m_voteIds with the types the list answer gives them (0 for one it lacks).
    U32Map typesOf(const FrameJson::Json& listAnswer) const;
    void askRemoval(bool batch, const U32Map& voteTypes);
    void answerRemoved(bool batch, const FrameJson::Decoded& answer);
    void manage(WebEndpoint endpoint, std::uint32_t voteId, std::optional<std::uint32_t> jiFangId);
    // The start request that schedules m_startAt, or (cancel) forgets the vote's schedule.
    void schedule(std::uint32_t voteId, bool cancel);
    void history(bool csv);
    void answerHistory(const FrameJson::Decoded& answer, bool csv);
    // The user directory's entry of an imid, as the desktop judge editor looks a judge up.
    void user(std::uint32_t imid);
    // The jiFangId of the place's running vote when it is voteId's.
    std::uint32_t runningJiFangId(std::uint32_t voteId) const;
    // True when the core gave no answer or refused (answered then, the exchange finished).
    bool refusedByCore(const std::optional<FrameJson::Decoded>& answer, std::uint32_t requestType);
    void refuse(std::uint32_t requestType, std::uint32_t result);
    std::string votePath(std::uint32_t voteId) const;

    Respond m_respond;
    CoreExchange m_exchange;
    SessionIdentity m_identity;
    VoteInfo m_vote;                       // create, replace
    std::vector<std::uint32_t> m_voteIds;  // delete, batch delete
    std::optional<std::int64_t> m_startAt; // a start scheduled for this Unix second
};

} // namespace quorix::service
