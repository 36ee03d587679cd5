#pragma once

// The token the host puts into its user's web viewer link: not the host's own, but a narrower one
// the vote service grants for the same identity (never able to manage, at most two hours). The
// host asks for one each time its transport becomes ready and again once half of its lifetime has
// passed; a link is built only while one with at least a minute left is at hand.

#include <QString>
#include <QtGlobal>

class WebLinkToken
{
public:
    static constexpr qint64 kMinLeftMs = 60 * 1000;

    // An empty token: the service checks none, the link needs none.
    void grant(const QString& token, quint32 expiresInSeconds, qint64 nowMs);
    void refuse(quint32 result);
    // The transport dropped: whatever was granted may be gone with the service's keys.
    void forget();

    bool usable(qint64 nowMs) const;
    bool wantsRenewal(qint64 nowMs) const;
    bool refused() const { return m_state == State::Refused; }
    const QString& token() const { return m_token; }
    // Why no link can be built now, for the user and the automation answer.
    QString problem() const;

private:
    enum class State
    {
        None,
        Granted,
        Refused
    };

    State m_state = State::None;
    QString m_token;
    qint64 m_grantedAtMs = 0;
    qint64 m_expiresAtMs = 0;
    quint32 m_refusal = 0;
};
