// The web viewer link a host builds for its user: the address the pages expect, every identity
// value surviving the trip through URLSearchParams (so '+', '&', '#' and non-ASCII nicks are
// encoded), the token in the fragment only, and --web-url values that cannot be a page address
// refused.

#include "host/windows/webviewerlink.h"

#include <QUrlQuery>

#include <gtest/gtest.h>

#include <map>

namespace {

HostIdentity identity(quint32 channel, quint32 sub, const QString& nick)
{
    HostIdentity id;
    id.uid = 20003;
    id.imid = 90004;
    id.role = 20;
    id.channelId = channel;
    id.subChannelId = sub;
    id.nick = nick;
    return id;
}

// Decodes a query as the page's URLSearchParams does: '+' is a space, %XX a byte.
std::map<QString, QString> pageParameters(const QByteArray& query)
{
    std::map<QString, QString> parameters;
    for (const QByteArray& pair : query.split('&')) {
        const int equals = pair.indexOf('=');
        QByteArray value = pair.mid(equals + 1);
        value.replace('+', ' ');
        parameters[QString::fromUtf8(pair.left(equals))] = QUrl::fromPercentEncoding(value);
    }
    return parameters;
}

TEST(WebViewerLink, NamesTheUsersPlaceAndIdentityAsThePagesReadThem)
{
    const struct
    {
        const char* name;
        QString base;
        HostIdentity who;
        QString token;
        QByteArray prefix;
        bool nickKept = true;
    } rows[] = {
        {"plain base", "http://127.0.0.1:8080", identity(888, 1, "网页观众"), "eyJhbGciOi.eyJzdWIi.c2ln-_",
         "http://127.0.0.1:8080/vote/888/1?"},
        {"base with a slash", "http://127.0.0.1:8080/", identity(888, 2, "a"), "t",
         "http://127.0.0.1:8080/vote/888/2?"},
        {"proxy prefix", "https://votes.example/quorix//", identity(7, 4294967295u, "a"), "t",
         "https://votes.example/quorix/vote/7/4294967295?"},
        {"nick with query delimiters", "http://h:1", identity(1, 1, "a+b & c=d #e %"), "t",
         "http://h:1/vote/1/1?"},
        {"no token without a secret", "http://h:1", identity(1, 1, "a"), QString(), "http://h:1/vote/1/1?"},
        {"nick of 96 bytes", "http://h:1", identity(1, 1, QString(32, QChar(0x4E2D))), "t",
         "http://h:1/vote/1/1?"},
        {"nick over 96 bytes left out", "http://h:1", identity(1, 1, QString(33, QChar(0x4E2D))), "t",
         "http://h:1/vote/1/1?", false},
    };
    for (const auto& row : rows) {
        QString error;
        const QUrl base = WebViewerLink::parseBase(row.base, &error);
        ASSERT_TRUE(base.isValid()) << row.name << ": " << error.toStdString();
        const QUrl link = WebViewerLink::build(base, row.who, row.token);
        const QByteArray encoded = link.toEncoded();
        EXPECT_TRUE(link.isValid()) << row.name;
        EXPECT_TRUE(encoded.startsWith(row.prefix)) << row.name << ": " << encoded.toStdString();

        const int queryAt = encoded.indexOf('?') + 1;
        const int fragmentAt = encoded.indexOf('#');
        const QByteArray query = encoded.mid(queryAt, fragmentAt < 0 ? -1 : fragmentAt - queryAt);
        std::map<QString, QString> expected = {{"uid", "20003"}, {"imid", "90004"}, {"role", "20"}};
        if (row.nickKept)
            expected["nick"] = row.who.nick;
        EXPECT_EQ(pageParameters(query), expected) << row.name << ": " << encoded.toStdString();
        // The token only in the fragment, which no request carries.
        EXPECT_EQ(link.fragment(QUrl::FullyDecoded), row.token.isEmpty() ? QString() : "token=" + row.token)
            << row.name;
        EXPECT_FALSE(QUrlQuery(link).hasQueryItem("token")) << row.name;
    }
}

TEST(WebViewerLink, RefusesBasesThatAreNoPageAddress)
{
    const struct
    {
        const char* value;
        const char* reason;
    } rows[] = {
        {"", "http://"},
        {"127.0.0.1:8080", "http://"},
        {"/vote", "http://"},
        {"ftp://h/", "http://"},
        {"http://h:1/?x=1", "query"},
        {"http://h:1/#top", "fragment"},
        {"http://user:pw@h:1/", "user name"},
        {"http://h:notaport/", "http://"},
    };
    for (const auto& row : rows) {
        QString error;
        EXPECT_FALSE(WebViewerLink::parseBase(row.value, &error).isValid()) << row.value;
        EXPECT_TRUE(error.startsWith("option --web-url") && error.contains(row.reason))
            << row.value << " -> " << error.toStdString();
    }
}

} // namespace
