#pragma once

// The user's own web viewer page on the vote service's HTTP face:
//   BASE/vote/{channel}/{sub-channel}?uid=…&imid=…&role=…&nick=…[#token=…]
// with the identity parameters the pages hand on to the service, which checks them against the
// token. The token sits in the fragment, which the browser sends to no server and no referrer.
// Without a token (a service that checks none) the link carries none. Every value is
// percent-encoded in full, '+' included, since the page reads its query with URLSearchParams,
// where a bare '+' means a space. A nick longer than the service takes is left out (the service
// would refuse the whole link for it; the page then goes without the nick).

#include "host/transports/hostidentity.h"

#include <QString>
#include <QUrl>

class WebViewerLink
{
public:
    static constexpr int kMaxNickBytes = 96; // as the web face accepts it

    // Reads --web-url: an absolute http or https address with a host, maybe a path prefix (a
    // reverse proxy's), no query, fragment or user info. An invalid one gives an empty QUrl and
    // the reason in `error`.
    static QUrl parseBase(const QString& text, QString* error);
    static QUrl build(const QUrl& base, const HostIdentity& identity, const QString& token);
};
