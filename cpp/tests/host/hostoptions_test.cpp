#include "host/hostoptions.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct RejectCase
{
    const char* name;
    QStringList arguments;
    const char* errorFragment;
};

class HostOptionsRejects : public testing::TestWithParam<RejectCase>
{
};

TEST_P(HostOptionsRejects, WithOneLineNamingTheOption)
{
    HostOptions options;
    EXPECT_EQ(options.parse(GetParam().arguments), HostOptions::Outcome::Error);
    EXPECT_TRUE(options.error().contains(GetParam().errorFragment)) << options.error().toStdString();
    EXPECT_FALSE(options.error().contains('\n'));
}

INSTANTIATE_TEST_SUITE_P(
    BadOptions, HostOptionsRejects,
    testing::Values(
        RejectCase{"unknown", {"--colour", "red"}, "--colour"},
        RejectCase{"missing_value", {"--uid"}, "--uid"},
        RejectCase{"not_a_number", {"--role", "boss"}, "--role"},
        RejectCase{"negative", {"--channel", "-5"}, "--channel"},
        RejectCase{"zero_uid", {"--uid", "0"}, "--uid"},
        RejectCase{"too_large", {"--subchannel", "4294967296"}, "--subchannel"},
        RejectCase{"service_without_port", {"--service", "localhost"}, "--service"},
        RejectCase{"service_port_zero", {"--service", "localhost:0"}, "--service"},
        RejectCase{"service_port_too_large", {"--service=127.0.0.1:70000"}, "--service"},
        RejectCase{"service_unknown_scheme", {"--service", "udp://127.0.0.1:5"}, "--service"},
        RejectCase{"service_tls_without_port", {"--service", "tls://localhost"}, "--service"},
        RejectCase{"missing_ca_file",
                   {"--ca-file", "/nonexistent/ca.pem"},
                   "--ca-file cannot read /nonexistent/ca.pem: "},
        RejectCase{"ca_file_without_certificate",
                   {"--ca-file", "/dev/null"},
                   "--ca-file /dev/null holds no PEM certificate"},
        RejectCase{"empty_nick", {"--nick="}, "--nick"},
        RejectCase{"offscreen_with_value", {"--offscreen=yes"}, "--offscreen"},
        RejectCase{"positional", {"viewer"}, "viewer"},
        RejectCase{"unknown_inline", {"--colour=red"}, "unknown option '--colour=red'"},
        RejectCase{"unknown_short", {"-x"}, "unknown option '-x'"},
        RejectCase{"positional_after_options", {"--uid", "5", "viewer"}, "unknown option 'viewer'"},
        RejectCase{"empty_token", {"--token", ""}, "--token needs a non-empty value"},
        RejectCase{"token_and_token_file",
                   {"--token", "1.ab", "--token-file", "/dev/null"},
                   "--token and --token-file exclude each other"},
        RejectCase{"missing_token_file",
                   {"--token-file", "/nonexistent/token"},
                   "--token-file cannot read /nonexistent/token: "},
        RejectCase{"empty_token_file", {"--token-file", "/dev/null"}, "holds no token"},
        RejectCase{"position_one_number", {"--position", "100"}, "--position needs X,Y"},
        RejectCase{"position_three_numbers", {"--position=1,2,3"}, "--position needs X,Y"},
        RejectCase{"position_not_numbers", {"--position", "left,top"}, "--position needs X,Y"},
        RejectCase{"position_empty_y", {"--position", "5,"}, "--position needs X,Y"},
        RejectCase{"position_off_any_screen", {"--position", "5,2000000"}, "--position needs X,Y"},
        RejectCase{"log_level_unknown_name", {"--log-level", "loud"}, "--log-level needs error, warning"},
        RejectCase{"log_level_too_large", {"--log-level=65536"}, "not '65536'"},
        RejectCase{"log_level_negative", {"--log-level", "-1"}, "--log-level"},
        RejectCase{"empty_log_file", {"--log-file="}, "--log-file needs a non-empty value"},
        RejectCase{
            "web_url_without_scheme", {"--web-url", "127.0.0.1:8080"}, "--web-url needs an absolute http://"},
        RejectCase{
            "web_url_with_query", {"--web-url=http://h:1/?uid=1"}, "--web-url must not carry a query"}),
    [](const testing::TestParamInfo<RejectCase>& info) { return info.param.name; });

TEST(HostOptions, DefaultsAreAManagerInChannel888WithTheEmbeddedService)
{
    HostOptions options;
    ASSERT_EQ(options.parse({}), HostOptions::Outcome::Run);
    EXPECT_EQ(options.identity.role, 255u);
    EXPECT_EQ(options.identity.channelId, 888u);
    EXPECT_EQ(options.identity.subChannelId, 1u);
    EXPECT_NE(options.identity.uid, 0u);
    EXPECT_NE(options.identity.imid, 0u);
    EXPECT_TRUE(options.embeddedService());
    EXPECT_TRUE(options.automationPath.isEmpty());
    EXPECT_FALSE(options.offscreen);
    EXPECT_FALSE(options.position.has_value());
    EXPECT_TRUE(options.webUrl.isEmpty());
}

TEST(HostOptions, PositionTakesPixelsIncludingScreensLeftOfThePrimary)
{
    const struct
    {
        QStringList arguments;
        QPoint position;
    } rows[] = {
        {{"--position", "100,200"}, {100, 200}},
        {{"--position=-1280,0"}, {-1280, 0}},
        {{"--position", "0,0"}, {0, 0}},
    };
    for (const auto& row : rows) {
        HostOptions options;
        ASSERT_EQ(options.parse(row.arguments), HostOptions::Outcome::Run) << options.error().toStdString();
        ASSERT_TRUE(options.position.has_value());
        EXPECT_EQ(*options.position, row.position) << row.arguments.join(' ').toStdString();
    }
}

TEST(HostOptions, EveryOptionIsReadInBothSpellings)
{
    HostOptions options;
    ASSERT_EQ(options.parse({"--uid",
                             "42",
                             "--imid=4242",
                             "--nick",
                             "观众甲",
                             "--role",
                             "25",
                             "--channel=7",
                             "--subchannel",
                             "3",
                             "--service",
                             "::1:27500",
                             "--token",
                             "123.abc",
                             "--keywords",
                             "/tmp/k.txt",
                             "--addon-dir=/opt/addon",
                             "--automation",
                             "/tmp/a.sock",
                             "--web-url=http://127.0.0.1:8080",
                             "--offscreen"}),
              HostOptions::Outcome::Run)
        << options.error().toStdString();
    EXPECT_EQ(options.identity.uid, 42u);
    EXPECT_EQ(options.identity.imid, 4242u);
    EXPECT_EQ(options.identity.nick, QStringLiteral("观众甲"));
    EXPECT_EQ(options.identity.role, 25u);
    EXPECT_EQ(options.identity.channelId, 7u);
    EXPECT_EQ(options.identity.subChannelId, 3u);
    EXPECT_EQ(options.serviceHost, "::1");
    EXPECT_EQ(options.servicePort, 27500);
    EXPECT_FALSE(options.embeddedService());
    EXPECT_EQ(options.token, "123.abc");
    EXPECT_EQ(options.keywordsFile, "/tmp/k.txt");
    EXPECT_EQ(options.addonDir, "/opt/addon");
    EXPECT_EQ(options.automationPath, "/tmp/a.sock");
    EXPECT_EQ(options.webUrl, QUrl("http://127.0.0.1:8080"));
    EXPECT_TRUE(options.offscreen);
}

TEST(HostOptions, HelpStopsParsingEvenAfterABadOption)
{
    HostOptions options;
    EXPECT_EQ(options.parse({"--help", "--bogus"}), HostOptions::Outcome::Help);
    EXPECT_TRUE(HostOptions::usage("/s/quorix/tovo-host.log").contains("--automation"));
}

TEST(HostOptions, HelpAndVersionAreAnsweredBeforeAnyMistake)
{
    const struct
    {
        QStringList arguments;
        HostOptions::Outcome outcome;
    } rows[] = {
        {{"-h"}, HostOptions::Outcome::Help},
        {{"--bogus", "--help"}, HostOptions::Outcome::Help},
        {{"--version"}, HostOptions::Outcome::Version},
        {{"--role", "boss", "--version"}, HostOptions::Outcome::Version},
        {{"--version", "--help"}, HostOptions::Outcome::Help},
    };
    for (const auto& row : rows) {
        HostOptions options;
        EXPECT_EQ(options.parse(row.arguments), row.outcome) << row.arguments.join(' ').toStdString();
    }
}

TEST(HostOptions, UsageDescribesEveryOption)
{
    const QString usage = HostOptions::usage("/s/quorix/tovo-host.log");
    for (const char* option : {"--help",
                               "--version",
                               "--uid N",
                               "--imid N",
                               "--nick TEXT",
                               "--role N",
                               "--channel N",
                               "--subchannel N",
                               "--service HOST:PORT",
                               "--token TEXT",
                               "--token-file FILE",
                               "QUORIX_TOKEN",
                               "--keywords FILE",
                               "--addon-dir DIR",
                               "--automation PATH",
                               "--offscreen",
                               "--position X,Y",
                               "--log-level LEVEL",
                               "--log-file FILE",
                               "FENBASE_LOG_LEVEL",
                               "FENBASE_LOG_FILE",
                               "else /s/quorix/tovo-host.log"})
        EXPECT_TRUE(usage.contains(option)) << option << "\n" << usage.toStdString();
}

TEST(HostOptions, TheLastOfARepeatedOptionCounts)
{
    HostOptions options;
    ASSERT_EQ(options.parse({"--uid", "5", "--uid=6", "--service", "a:1", "--service", "b:2,c:3"}),
              HostOptions::Outcome::Run)
        << options.error().toStdString();
    EXPECT_EQ(options.identity.uid, 6u);
    EXPECT_EQ(options.serviceAddresses.size(), 2);
    EXPECT_EQ(options.serviceHost, "b");
}

TEST(HostOptions, EachServiceAddressIsPlainOrTls)
{
    HostOptions options;
    ASSERT_EQ(options.parse({"--service", "tls://a:1,tcp://b:2,c:3,tls://localhost:4"}),
              HostOptions::Outcome::Run)
        << options.error().toStdString();
    const QVector<std::tuple<QString, quint16, bool>> expected{
        {"a", 1, true}, {"b", 2, false}, {"c", 3, false}, {"localhost", 4, true}};
    ASSERT_EQ(options.serviceAddresses.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const ServiceAddress& address = options.serviceAddresses[i];
        EXPECT_EQ(std::make_tuple(address.host, address.port, address.tls), expected[i]) << i;
    }
    EXPECT_TRUE(options.caCertificates.isEmpty());
}

TEST(HostOptions, TheTokenComesFromTheOptionTheFileOrElseTheEnvironment)
{
    QTemporaryDir dir;
    const auto fileWith = [&dir](const char* name, const QByteArray& contents) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
        return file.fileName();
    };
    const QString crlf = fileWith("crlf", "123.abc\r\n\n");
    const QString twoLines = fileWith("two", "456.def\nsecond line\n");
    const QString noBreak = fileWith("bare", "789.fed");
    const struct
    {
        QStringList arguments;
        QString environment;
        QString token;
    } rows[] = {
        {{}, {}, {}},
        {{}, "env.token", "env.token"},
        {{"--token", "1.aa"}, "env.token", "1.aa"},
        {{"--token-file", crlf}, "env.token", "123.abc"},
        {{"--token-file=" + twoLines}, {}, "456.def"},
        {{"--token-file", noBreak}, {}, "789.fed"},
    };
    for (const auto& row : rows) {
        HostOptions options;
        ASSERT_EQ(options.parse(row.arguments, row.environment), HostOptions::Outcome::Run)
            << options.error().toStdString();
        EXPECT_EQ(options.token, row.token) << row.arguments.join(' ').toStdString();
    }
}

} // namespace
