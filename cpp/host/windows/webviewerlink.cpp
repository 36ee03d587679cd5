#include "host/windows/webviewerlink.h"

#include <QByteArray>
#include <QList>
#include <QPair>

namespace {

QByteArray queryOf(const HostIdentity& identity)
{
    QList<QPair<QByteArray, QString>> items = {{"uid", QString::number(identity.uid)},
                                               {"imid", QString::number(identity.imid)},
                                               {"role", QString::number(identity.role)}};
    if (identity.nick.toUtf8().size() <= WebViewerLink::kMaxNickBytes)
        items.append({"nick", identity.nick});
    QByteArray query;
    for (const auto& [name, value] : items) {
        if (!query.isEmpty())
            query += '&';
        query += name + '=' + QUrl::toPercentEncoding(value);
    }
    return query;
}

} // namespace

QUrl WebViewerLink::parseBase(const QString& text, QString* error)
{
    const QUrl url = QUrl(text.trimmed(), QUrl::StrictMode);
    const bool web = url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    QString problem;
    if (!url.isValid() || !web || url.host().isEmpty())
        problem = QStringLiteral("needs an absolute http:// or https:// address");
    else if (url.hasQuery() || url.hasFragment() || !url.userInfo().isEmpty())
        problem = QStringLiteral("must not carry a query, a fragment or a user name");
    if (problem.isEmpty())
        return url;
    if (error)
        *error = QStringLiteral("option --web-url %1, not '%2'").arg(problem, text);
    return QUrl();
}

QUrl WebViewerLink::build(const QUrl& base, const HostIdentity& identity, const QString& token)
{
    QByteArray prefix = base.toEncoded(QUrl::RemoveQuery | QUrl::RemoveFragment);
    while (prefix.endsWith('/'))
        prefix.chop(1);
    const QByteArray path = QByteArray("/vote/") + QByteArray::number(identity.channelId) + '/' +
                            QByteArray::number(identity.subChannelId);
    // The token goes into the fragment: browsers send it to no server, proxy log or referrer.
    const QByteArray fragment = token.isEmpty() ? QByteArray() : "#token=" + QUrl::toPercentEncoding(token);
    return QUrl::fromEncoded(prefix + path + '?' + queryOf(identity) + fragment, QUrl::StrictMode);
}
