#pragma once

// One plain API request (vote state, vote list, start/stop/close, history) carried out as a core
// session: the request body is what a host would send, the core's answer becomes the JSON (or CSV)
// response. The core decides; this only asks and translates.

#include "coreexchange.h"
#include "queryparameters.h"
#include "sessionidentity.h"
#include "webcontext.h"
#include "webresponse.h"
#include "webrouter.h"

#include <functional>

namespace quorix::service {

class ApiRequest
{
public:
    using Respond = std::function<void(WebResponse)>;

    ApiRequest(WebContext& context, Respond respond);

    // identity sits in the place the request is about; respond is called once.
    void run(WebEndpoint endpoint, const WebRoute& route, const QueryParameters& query,
             const SessionIdentity& identity);

private:
    void voteState();
    void votes();
    void manage(WebEndpoint endpoint, std::uint32_t voteId, std::optional<std::uint32_t> jiFangId);
    void history(bool csv);
    void answerHistory(const FrameJson::Decoded& answer, bool csv);
    // The jiFangId of the place's running vote when it is voteId's.
    std::uint32_t runningJiFangId(std::uint32_t voteId) const;
    bool refusedByCore(const std::optional<FrameJson::Decoded>& answer, std::uint32_t requestType);

    Respond m_respond;
    CoreExchange m_exchange;
    SessionIdentity m_identity;
};

} // namespace quorix::service
