#pragma once

// One plain web request as a short-lived core session: opened with the request's identity, it
// first takes in what the core sends a joining session (the running vote's broadcast), then may
// send one request body exactly as a host would and waits for its answer. The core session closes
// with the exchange.

#include "voteservice/server/coregateway.h"
#include "voteservice/web/framejson.h"
#include "voteservice/server/sessionoutput.h"

#include <boost/asio.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quorix::service {

class CoreExchange : public SessionOutput
{
public:
    // The answer's decoded frame, or nullopt when none came (timeout, session ended).
    using AnswerHandler = std::function<void(std::optional<FrameJson::Decoded>)>;
    using ReadyHandler = std::function<void()>;

    CoreExchange(CoreGateway& gateway, boost::asio::io_context& io, std::chrono::seconds answerTimeout);
    ~CoreExchange() override;
    CoreExchange(const CoreExchange&) = delete;
    CoreExchange& operator=(const CoreExchange&) = delete;

    // Opens the core session; onReady once the frames of the join have arrived. Not Yes: nothing
    // is opened and onReady is never called.
    CoreGateway::Opened open(const SessionIdentity& identity, ReadyHandler onReady);
    // The body of the last vote broadcast that reached the session (its place's running vote).
    const std::optional<FrameJson::Json>& broadcast() const { return m_broadcast; }
    std::uint32_t broadcastHz(const SubChannelKey& place) const { return m_gateway.broadcastHz(place); }
    // Sends one request; onAnswer with the first frame of answerType, or nullopt.
    void ask(std::uint32_t minType, const std::string& body, std::uint32_t answerType,
             AnswerHandler onAnswer);
    // Closes the core session early.
    void finish();

    void send(const OutFrame& frame) override;
    void framesSent() override;
    void close() override;

private:
    void answerWith(std::optional<FrameJson::Decoded> answer);
    // Calls the answer handler after the delay with the answer that came by then, if any.
    void answerSoon(std::chrono::seconds delay);

    CoreGateway& m_gateway;
    boost::asio::steady_timer m_timer;
    std::chrono::seconds m_answerTimeout;
    std::optional<SessionId> m_session;
    std::optional<FrameJson::Json> m_broadcast;
    ReadyHandler m_onReady;
    AnswerHandler m_onAnswer;
    std::optional<FrameJson::Decoded> m_answer;
    std::uint32_t m_answerType = 0;
};

} // namespace quorix::service
