#include "host/weblinktoken.h"

#include <quorix/protocol/hostcontrol.h>

void WebLinkToken::grant(const QString& token, quint32 expiresInSeconds, qint64 nowMs)
{
    m_state = State::Granted;
    m_token = token;
    m_grantedAtMs = nowMs;
    m_expiresAtMs = nowMs + qint64(expiresInSeconds) * 1000;
}

void WebLinkToken::refuse(quint32 result)
{
    m_state = State::Refused;
    m_token.clear();
    m_refusal = result;
}

void WebLinkToken::forget()
{
    m_state = State::None;
    m_token.clear();
}

bool WebLinkToken::usable(qint64 nowMs) const
{
    return m_state == State::Granted && m_expiresAtMs - nowMs >= kMinLeftMs;
}

bool WebLinkToken::wantsRenewal(qint64 nowMs) const
{
    return m_state != State::Granted || nowMs - m_grantedAtMs >= (m_expiresAtMs - m_grantedAtMs) / 2;
}

QString WebLinkToken::problem() const
{
    if (m_state != State::Refused)
        return QStringLiteral("the vote service has not granted the web link's token yet; try again shortly");
    switch (m_refusal) {
    case quorix::service::kWebTokenNothingToGrant:
        return QStringLiteral("the vote service grants no web link token for this host's token (expired, or "
                              "without the events and vote scopes)");
    case quorix::service::kWebTokenCannotSign:
        return QStringLiteral("the vote service cannot sign web link tokens (it needs --signing-key or "
                              "--secret-file)");
    default:
        return QStringLiteral("the vote service refused the web link's token (result %1)").arg(m_refusal);
    }
}
