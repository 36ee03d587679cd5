// The host program's reaction to its options and to the vote service: the role switcher under a
// token, and refusals shown in the channel window and told once on standard error.

#include "host/windows/channelwindow.h"
#include "tests/host/fakevoteservice.h"
#include "host/hostapplication.h"
#include "tests/host/hosttestsupport.h"
#include "host/transports/servicetransport.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace {

HostOptions hostOptions(quint16 servicePort, const QString& token)
{
    HostOptions options;
    if (servicePort != 0) {
        options.serviceAddresses = {ServiceAddress{QStringLiteral("127.0.0.1"), servicePort}};
        options.serviceHost = QStringLiteral("127.0.0.1");
        options.servicePort = servicePort;
    }
    options.token = token;
    options.addonDir = "/nonexistent";
    return options;
}

int occurrences(const std::string& text, const std::string& part)
{
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class HostApplicationTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { hostTestApp(); }

    static QString status(const HostApplication& host)
    {
        return host.window()->findChild<QLabel*>("connectionLabel")->text();
    }
};

TEST_F(HostApplicationTest, ATokenFixesTheRoleOnlyWhenItGoesToAVoteService)
{
    const struct
    {
        const char* name;
        quint16 port;
        QString token;
        bool switchable;
    } rows[] = {
        {"embedded", 0, {}, true},
        {"embedded with an unused token", 0, "1.ab", true},
        {"service without a token", 27500, {}, true},
        {"service with a token", 27500, "1.ab", false},
    };
    for (const auto& row : rows) {
        HostApplication host(hostOptions(row.port, row.token), KeywordFilter());
        const QComboBox* roles = host.window()->findChild<QComboBox*>("roleCombo");
        ASSERT_NE(roles, nullptr);
        EXPECT_EQ(roles->isEnabled(), row.switchable) << row.name;
        EXPECT_EQ(roles->toolTip().isEmpty(), row.switchable) << row.name;
    }
}

TEST_F(HostApplicationTest, AServiceNotYetUpIsPrintedOnceWhileTheHostRetries)
{
    quint16 closedPort = 0;
    {
        FakeVoteService gone;
        closedPort = gone.port();
    }
    HostApplication host(hostOptions(closedPort, "1.ab"), KeywordFilter());
    QSignalSpy unreachable(host.transport(), &ServiceTransport::unreachable);
    testing::internal::CaptureStderr();
    host.transport()->start();
    const bool retried = waitUntil([&] { return unreachable.count() >= 2; }, 5000);
    const std::string printed = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(retried) << unreachable.count();
    EXPECT_EQ(occurrences(printed, "tovo-host: the vote service at 127.0.0.1:" + std::to_string(closedPort) +
                                       " cannot be reached: "),
              1)
        << printed;
    EXPECT_EQ(occurrences(printed, "; retrying\n"), 1) << printed;
}

TEST_F(HostApplicationTest, AFinalRefusalIsShownInTheWindowAndPrintedOnce)
{
    FakeVoteService service;
    HostApplication host(hostOptions(service.port(), "1.ab"), KeywordFilter());
    testing::internal::CaptureStderr();
    host.transport()->start();
    ASSERT_TRUE(service.accept());
    ASSERT_TRUE(service.waitFrames(1));
    service.welcome(quorix::service::kWelcomeBadToken, "token refused");
    const bool shown = waitUntil([&] { return status(host).contains("token refused (WELCOME 2)"); });
    const bool retried = service.accept(1500);
    const std::string printed = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(shown) << status(host).toStdString();
    EXPECT_TRUE(status(host).contains(QStringLiteral("不再重试"))) << status(host).toStdString();
    EXPECT_FALSE(retried);
    EXPECT_EQ(occurrences(printed, "refused this host: token refused (WELCOME 2); not retrying"), 1)
        << printed;
}

TEST_F(HostApplicationTest, ARetriedRefusalIsPrintedOnceHoweverOftenItComesBack)
{
    FakeVoteService service;
    HostApplication host(hostOptions(service.port(), {}), KeywordFilter());
    QSignalSpy refused(host.transport(), &ServiceTransport::refused);
    testing::internal::CaptureStderr();
    host.transport()->start();
    int attempts = 0;
    while (attempts < 2 && service.accept() && service.waitFrames(1)) {
        service.welcome(quorix::service::kWelcomeServiceFull, "service full");
        if (waitUntil([&] { return refused.count() == attempts + 1; }))
            ++attempts;
    }
    const std::string printed = testing::internal::GetCapturedStderr();
    ASSERT_EQ(attempts, 2) << "each attempt was refused and tried again";
    EXPECT_TRUE(status(host).contains("service full (WELCOME 3)")) << status(host).toStdString();
    EXPECT_TRUE(status(host).contains(QStringLiteral("稍后重试"))) << status(host).toStdString();
    EXPECT_EQ(occurrences(printed, "refused this host: service full (WELCOME 3); retrying"), 1) << printed;
}

// Without automation a person reads the channel window: the host keeps running and shows the
// failure in the add-on box, once on standard error.
// The link never carries the host's own (manager's) token: the host asks its service for a web token
// as the link becomes ready and puts what it grants into the fragment.
TEST_F(HostApplicationTest, TheWebViewerLinkCarriesTheTokenTheServiceGrantsAndFollowsTheSubChannel)
{
    const QString page =
        QStringLiteral("http://127.0.0.1:9/vote/888/"
                       "3?uid=10001&imid=90001&role=255&nick=%E9%A2%91%E9%81%93%E7%AE%A1%E7%90%86%E5%91%98");
    const struct
    {
        const char* name;
        QString webUrl;
        std::optional<quorix::service::PWebTokenAnswer> answer; // none: the service has not answered
        QString link;                                           // after a switch to sub-channel 3
        QString error;
    } rows[] = {
        {"no --web-url", {}, quorix::service::PWebTokenAnswer{0, "w.t.s", 7200}, {}, "no web viewer link"},
        {"granted",
         "http://127.0.0.1:9/",
         quorix::service::PWebTokenAnswer{0, "w.t.s", 7200},
         page + "#token=w.t.s",
         {}},
        {"service without keys",
         "http://127.0.0.1:9",
         quorix::service::PWebTokenAnswer{0, "", 7200},
         page,
         {}},
        {"under a minute left",
         "http://127.0.0.1:9",
         quorix::service::PWebTokenAnswer{0, "w.t.s", 59},
         {},
         "has not granted"},
        {"service cannot sign",
         "http://127.0.0.1:9",
         quorix::service::PWebTokenAnswer{quorix::service::kWebTokenCannotSign, "", 0},
         {},
         "cannot sign"},
        {"not answered yet", "http://127.0.0.1:9", std::nullopt, {}, "has not granted"},
    };
    for (const auto& row : rows) {
        FakeVoteService service;
        HostOptions options = hostOptions(service.port(), "1.ab");
        options.webUrl = QUrl(row.webUrl);
        HostApplication host(options, KeywordFilter());
        const auto* button = host.window()->findChild<QPushButton*>("webViewerButton");
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->isEnabled(), !row.webUrl.isEmpty()) << row.name;
        EXPECT_EQ(button->toolTip().contains("--web-url"), row.webUrl.isEmpty()) << row.name;
        QSignalSpy arrived(host.transport(), &ServiceTransport::webTokenArrived);
        host.transport()->start();
        ASSERT_TRUE(service.accept()) << row.name;
        ASSERT_TRUE(service.waitFrames(1)) << row.name;
        service.welcome(quorix::service::kWelcomeAccepted);
        ASSERT_TRUE(service.waitFrames(2)) << row.name << ": the web token request";
        const mpak::ServiceFrame asked = service.frame(1);
        quorix::service::PWebTokenRequest request;
        EXPECT_EQ(asked.minType, quorix::service::kControlWebTokenRequest) << row.name;
        ASSERT_TRUE(mpak::decode(asked.payload, request)) << row.name;
        EXPECT_EQ(request.scopes, "events vote") << row.name;
        EXPECT_EQ(request.lifetimeSeconds, 7200u) << row.name;
        if (row.answer) {
            service.send(quorix::service::kControlMajorType, quorix::service::kControlWebTokenAnswer,
                         mpak::encode(*row.answer));
            ASSERT_TRUE(waitUntil([&] { return arrived.count() == 1; })) << row.name;
        }
        host.switchSubChannel(3);
        QUrl link;
        const QString error = host.webViewerLink(false, &link);
        EXPECT_TRUE(row.error.isEmpty() ? error.isEmpty() : error.contains(row.error))
            << row.name << ": " << error.toStdString();
        EXPECT_EQ(QString::fromUtf8(link.toEncoded()), row.link) << row.name;
        EXPECT_FALSE(link.toString().contains("1.ab")) << row.name;
    }
}

// A click on "打开网页投票页" before the service has answered waits for the token, then tries the page.
TEST_F(HostApplicationTest, AClickBeforeTheWebTokenArrivesOpensThePageOnceItDoes)
{
    // xdg-open hands the page to $BROWSER: nothing is started for real.
    qputenv("BROWSER", "true");
    FakeVoteService service;
    HostOptions options = hostOptions(service.port(), "1.ab");
    options.webUrl = QUrl("http://127.0.0.1:9");
    HostApplication host(options, KeywordFilter());
    host.transport()->start();
    ASSERT_TRUE(service.accept() && service.waitFrames(1));
    service.welcome(quorix::service::kWelcomeAccepted);
    ASSERT_TRUE(service.waitFrames(2));
    const auto* log = host.window()->findChild<QPlainTextEdit*>("eventLog");
    ASSERT_NE(log, nullptr);
    host.window()->findChild<QPushButton*>("webViewerButton")->click();
    EXPECT_TRUE(log->toPlainText().endsWith(QStringLiteral("正在向投票服务申请网页投票页的令牌")))
        << log->toPlainText().toStdString();
    service.send(quorix::service::kControlMajorType, quorix::service::kControlWebTokenAnswer,
                 mpak::encode(quorix::service::PWebTokenAnswer{0, "w.t.s", 7200}));
    // Opened, or (without a desktop browser) said that none took it: either way the page was tried.
    EXPECT_TRUE(waitUntil([&] {
        const QString last = log->toPlainText().section('\n', -1);
        return last.contains(QStringLiteral("已在浏览器中打开网页投票页")) ||
               last.contains(QStringLiteral("no browser took the web viewer link"));
    })) << log->toPlainText().toStdString();
}

TEST_F(HostApplicationTest, AnAddonThatCannotBeLoadedIsShownInTheAddonBox)
{
    QTemporaryDir emptyFolder;
    HostOptions options = hostOptions(0, {});
    options.addonDir = emptyFolder.path();
    HostApplication host(options, KeywordFilter());
    QSignalSpy finished(&host, &HostApplication::finished);
    testing::internal::CaptureStderr();
    QString error;
    ASSERT_TRUE(host.start(&error)) << error.toStdString();
    QCoreApplication::processEvents();
    const std::string printed = testing::internal::GetCapturedStderr();
    const QString library = emptyFolder.filePath("libquorix.so");
    const auto* box = host.window()->findChild<QLabel*>("addonPlaceholder");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisibleTo(host.window()));
    EXPECT_TRUE(box->text().contains(QStringLiteral("应用加载失败"))) << box->text().toStdString();
    EXPECT_TRUE(box->text().contains(library + ": cannot open shared object file"))
        << box->text().toStdString();
    EXPECT_EQ(occurrences(printed, "cannot be loaded: " + library.toStdString()), 1) << printed;
    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(host.exitStatus(), 0);
    host.shutdown();
}

} // namespace
