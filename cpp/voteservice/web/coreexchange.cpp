#include "voteservice/web/coreexchange.h"

#include <quorix/protocol/votemessages.h>

#include <utility>

namespace quorix::service {

CoreExchange::CoreExchange(CoreGateway& gateway, boost::asio::io_context& io,
                           std::chrono::seconds answerTimeout)
    : m_gateway(gateway), m_timer(io), m_answerTimeout(answerTimeout)
{}

CoreExchange::~CoreExchange()
{
    finish();
}

CoreGateway::Opened CoreExchange::open(const SessionIdentity& identity, ReadyHandler onReady)
{
    SessionId id = 0;
    const CoreGateway::Opened opened = m_gateway.openSession(*this, identity, Transport::Http, id);
    if (opened != CoreGateway::Opened::Yes)
        return opened;
    m_session = id;
    m_onReady = std::move(onReady);
    m_gateway.whenSent(id);
    return opened;
}

void CoreExchange::ask(std::uint32_t minType, const std::string& body, std::uint32_t answerType,
                       AnswerHandler onAnswer)
{
    m_onAnswer = std::move(onAnswer);
    m_answerType = answerType;
    if (!m_session)
        return answerWith(std::nullopt);
    answerSoon(m_answerTimeout);
    m_answer.reset();
    // A flooding session is closed by the gateway (close() below answers for it).
    m_gateway.handle(*m_session, minType, body);
}

void CoreExchange::finish()
{
    m_timer.cancel();
    if (m_session)
        m_gateway.closeSession(*m_session);
    m_session.reset();
}

void CoreExchange::send(const OutFrame& frame)
{
    auto decoded = FrameJson::decode(frame);
    if (!decoded)
        return;
    if (decoded->minType == VOTE_SYSTEM_BROADCAST_VOTE)
        m_broadcast = decoded->body;
    else if (decoded->minType == VOTE_SYSTEM_CLOSE_VOTEUI_RES && !m_onAnswer)
        m_broadcast.reset(); // the vote was closed before anything was asked
    // Answered from the io_context, never from inside the core's delivery: the handler closes the
    // session.
    if (m_onAnswer && decoded->minType == m_answerType && !m_answer) {
        m_answer = std::move(decoded);
        answerSoon(std::chrono::seconds(0));
    }
}

void CoreExchange::framesSent()
{
    if (auto ready = std::move(m_onReady)) {
        m_onReady = nullptr;
        ready();
    }
}

void CoreExchange::close()
{
    // From the server: the session is gone there already. Answer later, never from inside its call.
    m_session.reset();
    if (m_onAnswer)
        answerSoon(std::chrono::seconds(0));
}

void CoreExchange::answerSoon(std::chrono::seconds delay)
{
    // The timer ends with the exchange, and its handler then touches nothing.
    m_timer.expires_after(delay);
    m_timer.async_wait([this](const boost::system::error_code& ec) {
        if (!ec)
            answerWith(std::exchange(m_answer, std::nullopt));
    });
}

void CoreExchange::answerWith(std::optional<FrameJson::Decoded> answer)
{
    m_timer.cancel();
    if (auto handler = std::move(m_onAnswer)) {
        m_onAnswer = nullptr;
        handler(std::move(answer));
    }
}

} // namespace quorix::service
