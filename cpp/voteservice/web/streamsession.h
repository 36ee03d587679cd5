#pragma once

// A web client that stays: a core session and a TextChannel (WebSocket or SSE) for as long as the
// connection lasts. The core session opens before the channel answers the upgrade, so a refusal
// (per-user limit, service full) is still an HTTP answer. Ending either ends both. A session a token
// let in is registered with its claims in the server's OpenCredentials for as long as it is open,
// so a key reload or a revocation that no longer honours them closes it.

#include "voteservice/server/coregateway.h"
#include "voteservice/auth/accessclaims.h"
#include "voteservice/web/framejson.h"
#include "voteservice/auth/tokenrefusal.h"
#include "voteservice/web/textchannel.h"
#include "voteservice/web/webclientregistry.h"
#include "voteservice/web/webcontext.h"
#include "voteservice/web/webresponse.h"
#include "voteservice/web/webstream.h"

#include <boost/beast/core.hpp>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorix::service {

class StreamSession : public std::enable_shared_from_this<StreamSession>,
                      public SessionOutput,
                      public WebClient
{
public:
    ~StreamSession() override;
    StreamSession(const StreamSession&) = delete;
    StreamSession& operator=(const StreamSession&) = delete;

    void close() override;     // the server ended the core session (flood, stop)
    void shutdown() override;  // the web face stops
    void drain() override;     // the web face drains: the client's messages are no longer taken
    void goingAway() override; // the server has sent everything: close 1001, or end the event stream

protected:
    StreamSession(std::shared_ptr<WebContext> context, const SessionIdentity& identity);

    // Opens the core session and, when that succeeds, the channel over the stream; otherwise the
    // response to answer the request with (the stream stays with the caller).
    static std::optional<WebResponse> begin(const std::shared_ptr<StreamSession>& session, WebStream& stream,
                                            TextChannel::Request& request, bool eventStream,
                                            const std::optional<AccessClaims>& claims);

    // hold: how long the text may wait to leave with the next one (TextChannel::send).
    void sendText(std::string text, std::chrono::milliseconds hold = {});
    void sendText(SharedText text, std::chrono::milliseconds hold = {});
    void closeChannel(std::uint16_t code);
    virtual void onText(const std::string& text);
    std::optional<SessionId> session() const { return m_session; }

    std::shared_ptr<WebContext> m_context;
    SessionIdentity m_identity;

private:
    void ended();
    void releaseCoreSession();
    void registerClaims(const AccessClaims& claims);
    void dishonoured(TokenRefusal refusal);

    std::optional<SessionId> m_session;
    bool m_registered = false; // in the server's OpenCredentials
    std::unique_ptr<TextChannel> m_channel;
    std::vector<SharedText> m_early; // sent while the core session opened, before the channel was
    WebClientRegistry::Slot m_slot;
    bool m_draining = false;
};

} // namespace quorix::service
