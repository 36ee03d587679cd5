#include "tests/host/hostprocess.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <QImage>
#include <QJsonArray>
#include <QLocalServer>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// Found by object name: its title changes with the role.
const QString kChannelWindow = QStringLiteral("channelWindow");
constexpr int kAddonStartMs = 9000; // the add-on starts five seconds after it is loaded

bool addonUp(const QJsonObject& state)
{
    return state.value("addonLoaded").toBool() && state.value("connected").toBool();
}

class HostProcessTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { hostTestApp(); }
};

TEST_F(HostProcessTest, ManagerWithEmbeddedServiceLoadsTheAddonAndOpensTheManagementWindow)
{
    HostProcess host({"--uid", "7001", "--role", "255"});
    ASSERT_TRUE(host.connectSocket());
    const QJsonObject early = host.command({{"cmd", "state"}, {"id", 1}});
    EXPECT_EQ(early.value("id").toInt(), 1);
    EXPECT_EQ(early.value("uid").toInt(), 7001);
    EXPECT_EQ(early.value("role").toInt(), 255);
    EXPECT_EQ(early.value("channelId").toInt(), 888);
    EXPECT_EQ(early.value("subChannelId").toInt(), 1);
    ASSERT_TRUE(host.waitState(addonUp, kAddonStartMs)) << host.log().toStdString();

    const QJsonObject item =
        host.command({{"cmd", "text"}, {"window", kChannelWindow}, {"widget", "quorixItem"}});
    EXPECT_TRUE(item.value("ok").toBool()) << item.value("error").toString().toStdString();
    EXPECT_EQ(item.value("text").toString(), QStringLiteral("投票2.0"));
    EXPECT_TRUE(item.value("visible").toBool());
    EXPECT_TRUE(host.command({{"cmd", "hover"}, {"window", kChannelWindow}, {"widget", "quorixItem"}})
                    .value("ok")
                    .toBool());

    EXPECT_FALSE(host.hasWindow(QStringLiteral("频道投票设置")));
    EXPECT_TRUE(host.command({{"cmd", "addon"}}).value("ok").toBool());
    EXPECT_TRUE(waitUntil([&] { return host.hasWindow(QStringLiteral("频道投票设置")); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return host.log().contains("Sendmsg: maxType = 2500 minType = 28"); }, 3000))
        << "the vote list request went out through the host";

    const QString png = host.directory() + "/channel.png";
    EXPECT_TRUE(
        host.command({{"cmd", "grab"}, {"window", kChannelWindow}, {"file", png}}).value("ok").toBool());
    EXPECT_FALSE(QImage(png).isNull());

    EXPECT_TRUE(host.command({{"cmd", "quit"}}).value("ok").toBool());
    ASSERT_TRUE(host.finishes(10000));
    EXPECT_EQ(host.exitCode(), 0);
}

TEST_F(HostProcessTest, ViewerOpensTheVoteHistory)
{
    HostProcess host({"--uid", "7002", "--role", "20", "--nick", QStringLiteral("观众")});
    ASSERT_TRUE(host.connectSocket());
    ASSERT_TRUE(host.waitState(addonUp, kAddonStartMs)) << host.log().toStdString();
    EXPECT_TRUE(host.command({{"cmd", "addon"}}).value("ok").toBool());
    EXPECT_TRUE(waitUntil([&] { return host.hasWindow(QStringLiteral("投票记录")); }, 5000));
    EXPECT_FALSE(host.hasWindow(QStringLiteral("频道投票设置")));
}

TEST_F(HostProcessTest, EveryCommandIsAnsweredAndBadRequestsNeverStopTheHost)
{
    HostProcess host({"--position", "130,90"});
    ASSERT_TRUE(host.connectSocket());

    struct Bad
    {
        QByteArray line;
        const char* errorFragment;
    };
    const Bad bad[] = {
        {"{not json", "bad JSON"},
        {"[1,2]", "bad JSON"},
        {R"({"cmd":"fly"})", "unknown command"},
        {R"({"id":3})", "missing"},
        {R"({"cmd":"click","window":"没有这个窗口","widget":"x"})", "no window"},
        {R"({"cmd":"text","window":"channelWindow","widget":"nothing/here"})", "no widget"},
        {R"({"cmd":"text","window":"channelWindow","widget":"nothing"})",
         "no widget 'nothing' in window 'tovo-host - "},
        {R"({"cmd":"text","window":"channelWindow","widget":"addonBox/nothing"})",
         "no widget 'nothing' of 'addonBox/nothing' in window 'tovo-host - "},
        {R"({"cmd":"text","window":"channelWindow","widget":"a[x]"})", "bad widget path"},
        {R"({"cmd":"select","window":"channelWindow","widget":"roleCombo","index":99})", "out of range"},
        {R"({"cmd":"subchannel","id":-4})", "subchannel needs"},
        {R"({"cmd":"activate","active":"yes"})", "activate needs"},
        {R"({"cmd":"grab","window":"channelWindow"})", "grab needs"},
        {R"({"cmd":"webLink"})", "started without --web-url"},
        {R"({"cmd":"webLink","open":1})", "webLink takes"}};
    for (const Bad& request : bad) {
        const QJsonObject answer = host.raw(request.line);
        EXPECT_FALSE(answer.value("ok").toBool(true)) << request.line.toStdString();
        EXPECT_TRUE(answer.value("error").toString().contains(request.errorFragment))
            << request.line.toStdString() << " -> " << answer.value("error").toString().toStdString();
    }

    EXPECT_TRUE(host.command({{"cmd", "subchannel"}, {"id", 3}}).value("ok").toBool());
    EXPECT_TRUE(
        host.command({{"cmd", "select"}, {"window", kChannelWindow}, {"widget", "roleCombo"}, {"index", 5}})
            .value("ok")
            .toBool());
    const QJsonObject state = host.command({{"cmd", "state"}});
    EXPECT_EQ(state.value("subChannelId").toInt(), 3);
    EXPECT_EQ(state.value("role").toInt(), 20);
    EXPECT_TRUE(host.command({{"cmd", "text"}, {"window", kChannelWindow}, {"widget", "channelLabel"}})
                    .value("text")
                    .toString()
                    .contains(QStringLiteral("子频道 3")));

    EXPECT_TRUE(host.command({{"cmd", "activate"}, {"active", true}}).value("ok").toBool());
    bool channelActive = false;
    for (const QJsonValue& w : host.command({{"cmd", "windows"}}).value("windows").toArray()) {
        const QJsonObject window = w.toObject();
        const QJsonArray geometry = window.value("geometry").toArray();
        EXPECT_EQ(geometry.size(), 4);
        if (window.value("objectName") != kChannelWindow)
            continue;
        channelActive = window.value("active").toBool();
        EXPECT_EQ(window.value("title").toString(), QStringLiteral("tovo-host - 频道 888 - 频道管理员 (20)"));
        // --position places the frame; the reported geometry is the inside, a frame width further.
        EXPECT_GE(geometry.at(0).toInt(), 130);
        EXPECT_LT(geometry.at(0).toInt(), 140);
        EXPECT_GE(geometry.at(1).toInt(), 90);
        EXPECT_LT(geometry.at(1).toInt(), 120);
    }
    EXPECT_TRUE(channelActive);
    EXPECT_TRUE(host.command({{"cmd", "activate"}, {"active", false}}).value("ok").toBool());
    bool anyActive = false;
    for (const QJsonValue& w : host.command({{"cmd", "windows"}}).value("windows").toArray())
        anyActive = anyActive || w.toObject().value("active").toBool();
    EXPECT_FALSE(anyActive);

    EXPECT_TRUE(host.command({{"cmd", "quit"}}).value("ok").toBool());
    EXPECT_TRUE(host.finishes(10000));
}

TEST_F(HostProcessTest, OverTcpTheAddonsLinkComesBackAfterTheServiceIsKilled)
{
    ServiceProcess service;
    ASSERT_TRUE(service.start());
    HostProcess host({"--service", service.address(), "--token", "unused"});
    ASSERT_TRUE(host.connectSocket());
    ASSERT_TRUE(host.waitState(addonUp, kAddonStartMs)) << host.log().toStdString();

    EXPECT_TRUE(host.command({{"cmd", "addon"}}).value("ok").toBool());
    EXPECT_TRUE(waitUntil([&] { return host.log().contains("VOTE_SYSTEM_QUERY_ALL_VOTE_RES"); }, 5000))
        << "the vote list answer came back over TCP";

    service.stop();
    EXPECT_TRUE(host.waitState([](const QJsonObject& s) { return !s.value("connected").toBool(); }, 5000));
    ASSERT_TRUE(service.start());
    EXPECT_TRUE(host.waitState(addonUp, 8000)) << "the add-on's link reports ready again";
}

// A manager's host under a service with a secret: its webLink carries, in the fragment, a token the
// service granted that cannot manage and ends within two hours, never the host's own day-long one.
TEST_F(HostProcessTest, TheWebLinkOfAManagersHostCarriesANarrowerTokenInItsFragment)
{
    QTemporaryDir dir;
    const QString secret = dir.filePath("secret");
    QFile file(secret);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("sixteen bytes or more of secret\n") > 0);
    file.close();
    QProcess issue;
    issue.start(QUORIX_VOTED_PATH, {"token", "--secret-file", secret, "--uid", "10001", "--imid", "90001",
                                    "--role", "255", "--channel", "888"});
    ASSERT_TRUE(issue.waitForFinished(5000));
    const QString hostToken = QString::fromUtf8(issue.readAllStandardOutput()).trimmed();
    ASSERT_EQ(hostToken.count('.'), 2) << hostToken.toStdString();

    ServiceProcess service;
    ASSERT_TRUE(service.start({"--secret-file", secret}));
    HostProcess host(
        {"--service", service.address(), "--token", hostToken, "--web-url", "http://127.0.0.1:9"});
    ASSERT_TRUE(host.connectSocket());
    QJsonObject answer;
    ASSERT_TRUE(waitUntil(
        [&] {
            answer = host.command({{"cmd", "webLink"}});
            return answer.value("ok").toBool();
        },
        8000))
        << QJsonDocument(answer).toJson().toStdString();
    const QUrl link(answer.value("url").toString());
    EXPECT_TRUE(link.toString().startsWith("http://127.0.0.1:9/vote/888/1?uid=10001&imid=90001&role=255"))
        << link.toString().toStdString();
    EXPECT_FALSE(link.query().contains("token")) << link.toString().toStdString();
    ASSERT_TRUE(link.fragment().startsWith("token=")) << link.toString().toStdString();
    const QString webToken = link.fragment().mid(6);
    EXPECT_NE(webToken, hostToken);
    const QJsonObject claims =
        QJsonDocument::fromJson(
            QByteArray::fromBase64(webToken.section('.', 1, 1).toLatin1(),
                                   QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals))
            .object();
    EXPECT_EQ(claims.value("scope").toString(), "events vote");
    EXPECT_EQ(claims.value("sub").toString(), "10001");
    EXPECT_LE(claims.value("exp").toDouble() - claims.value("iat").toDouble(), 7200);
    EXPECT_FALSE(claims.value("jti").toString().isEmpty());
}

TEST_F(HostProcessTest, TerminationSignalUnloadsTheAddonAndExitsCleanly)
{
    HostProcess host({"--uid", "7003", "--role", "255"});
    ASSERT_TRUE(host.connectSocket());
    ASSERT_TRUE(host.waitState(addonUp, kAddonStartMs)) << host.log().toStdString();
    host.terminate();
    ASSERT_TRUE(host.finishes(10000)) << "SIGTERM went through the shutdown path, not the default action";
    EXPECT_EQ(host.exitCode(), 0);
}

TEST(HostProgram, BadOptionsGiveOneLineAndStatusTwo)
{
    hostTestApp();
    QProcess process;
    process.start(TOVO_HOST_PATH, {"--offscreen", "--role", "boss"});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 2);
    const QString error = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    EXPECT_TRUE(error.contains("--role"));
    EXPECT_FALSE(error.contains('\n'));
}

// Qt would abort on its default platform without a display; the host says what to do instead.
TEST(HostProgram, WithoutADisplayItNamesTheOffscreenOptionInsteadOfAborting)
{
    hostTestApp();
    for (const QString& platform : {QString(), QStringLiteral("xcb")}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        if (!platform.isEmpty())
            env.insert("QT_QPA_PLATFORM", platform);
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(TOVO_HOST_PATH, {"--uid", "7009"});
        ASSERT_TRUE(process.waitForFinished(10000)) << platform.toStdString();
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << platform.toStdString();
        EXPECT_EQ(process.exitCode(), 1) << platform.toStdString();
        EXPECT_EQ(
            QString::fromLocal8Bit(process.readAllStandardError()).toStdString(),
            "tovo-host: no display to show the channel window on; start it with --offscreen to run without "
            "one\n");
    }
}

ino_t inodeOf(const QString& path)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

// tovo-host run in `directory` with the automation option and `more`.
void startHost(QProcess& process, const QString& directory, const QString& automationPath,
               const QStringList& more = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Without the table of used suppressions, which would follow the host's last line of stderr.
    env.insert("LSAN_OPTIONS",
               QStringLiteral("suppressions=%1:print_suppressions=0").arg(LSAN_QT_SUPPRESSIONS));
    env.insert("XDG_STATE_HOME", directory); // the log file, kept out of the tester's home
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(directory);
    process.start(TOVO_HOST_PATH, QStringList{"--offscreen", "--automation", automationPath} + more);
}

// A host in `directory` with its automation socket "host.sock" there, ready for tovo-hostctl.
bool startHostWithSocket(QProcess& host, const QTemporaryDir& directory)
{
    startHost(host, directory.path(), "host.sock");
    return waitUntil([&] { return QFileInfo::exists(directory.filePath("host.sock")); }, 10000);
}

TEST(HostProgram, ARelativeAutomationPathAndTheControlToolMeetInTheWorkingDirectory)
{
    hostTestApp();
    QTemporaryDir dir;
    QProcess host;
    ASSERT_TRUE(startHostWithSocket(host, dir));

    QProcess control;
    control.setWorkingDirectory(dir.path());
    control.start(TOVO_HOSTCTL_PATH, {"host.sock", R"({"cmd":"quit"})"});
    ASSERT_TRUE(control.waitForFinished(15000));
    EXPECT_EQ(control.exitCode(), 0) << control.readAllStandardError().toStdString();
    EXPECT_TRUE(host.waitForFinished(10000));
    host.kill();
}

TEST(HostProgram, TheControlToolSaysWhenUntilGaveUp)
{
    hostTestApp();
    QTemporaryDir dir;
    QProcess host;
    ASSERT_TRUE(startHostWithSocket(host, dir));

    QProcess control;
    control.setWorkingDirectory(dir.path());
    control.start(TOVO_HOSTCTL_PATH,
                  {"--timeout", "2.5", "--until", "noSuchField", "host.sock", R"({"cmd":"state"})"});
    ASSERT_TRUE(control.waitForFinished(15000));
    EXPECT_EQ(control.exitCode(), 1);
    const QStringList errorLines =
        QString::fromLocal8Bit(control.readAllStandardError()).trimmed().split('\n');
    EXPECT_EQ(errorLines.last().toStdString(), "tovo-hostctl: timed out after 2.5 s")
        << "Qt's own warnings may come first";
    const QJsonObject answer = QJsonDocument::fromJson(control.readAllStandardOutput()).object();
    EXPECT_TRUE(answer.value("ok").toBool()) << "the last answer is still printed";

    control.start(TOVO_HOSTCTL_PATH, {"host.sock", R"({"cmd":"quit"})"});
    ASSERT_TRUE(control.waitForFinished(15000));
    EXPECT_TRUE(host.waitForFinished(10000));
    host.kill();
}

TEST(HostProgram, TheControlToolSaysWhenTheHostLeftWithoutAnswering)
{
    hostTestApp();
    QTemporaryDir dir;
    QProcess host;
    ASSERT_TRUE(startHostWithSocket(host, dir));

    // A line over 64 KiB is answered with an error, then the host drops the client.
    const QString oversized = QStringLiteral(R"({"cmd":"state","pad":"%1"})").arg(QString(70000, 'x'));
    QProcess control;
    control.setWorkingDirectory(dir.path());
    control.start(TOVO_HOSTCTL_PATH, {"host.sock", oversized, R"({"cmd":"state"})"});
    ASSERT_TRUE(control.waitForFinished(15000));
    EXPECT_EQ(control.exitCode(), 1);
    const QStringList errorLines =
        QString::fromLocal8Bit(control.readAllStandardError()).trimmed().split('\n');
    EXPECT_EQ(errorLines.last().toStdString(),
              R"(tovo-hostctl: no answer to {"cmd":"state"}: the host closed the connection)");
    EXPECT_EQ(QString::fromUtf8(control.readAllStandardOutput()).count('\n'), 2) << "one line per command";

    control.start(TOVO_HOSTCTL_PATH, {"host.sock", R"({"cmd":"quit"})"});
    ASSERT_TRUE(control.waitForFinished(15000));
    EXPECT_TRUE(host.waitForFinished(10000));
    host.kill();
}

TEST(HostProgram, AnAutomationPathHoldingAFileOrALiveSocketIsRefusedAndKept)
{
    hostTestApp();
    QTemporaryDir dir;
    const QString file = dir.filePath("file.sock");
    {
        QFile data(file);
        ASSERT_TRUE(data.open(QIODevice::WriteOnly) && data.write("keep me") == 7);
    }
    QLocalServer liveHost;
    const QString live = dir.filePath("live.sock");
    ASSERT_TRUE(liveHost.listen(live));
    const struct
    {
        QString path;
        QString error;
    } cases[] = {{file, QStringLiteral("tovo-host: automation socket %1 is a regular file, not a socket; "
                                       "it is left in place")
                            .arg(file)},
                 {live, QStringLiteral("tovo-host: automation socket %1 is in use").arg(live)}};
    for (const auto& c : cases) {
        const ino_t inode = inodeOf(c.path);
        QProcess host;
        startHost(host, dir.path(), c.path);
        EXPECT_TRUE(host.waitForFinished(15000)) << c.path.toStdString();
        host.kill();
        EXPECT_EQ(host.exitCode(), 1);
        const QStringList errorLines =
            QString::fromLocal8Bit(host.readAllStandardError()).trimmed().split('\n');
        EXPECT_EQ(errorLines.last().toStdString(), c.error.toStdString())
            << "Qt's own warnings may come first";
        EXPECT_EQ(inodeOf(c.path), inode) << c.path.toStdString() << " is left in place";
    }
    QFile data(file);
    ASSERT_TRUE(data.open(QIODevice::ReadOnly));
    EXPECT_EQ(data.readAll(), "keep me");
}

// Under automation a host whose add-on cannot be loaded says why on one line and exits with 1,
// rather than leaving a script waiting for an add-on that never comes.
TEST(HostProgram, AnAddonThatCannotBeLoadedStopsAnAutomatedHostWithStatusOne)
{
    hostTestApp();
    QTemporaryDir empty;
    QTemporaryDir broken;
    {
        QFile library(broken.filePath("libquorix.so"));
        ASSERT_TRUE(library.open(QIODevice::WriteOnly));
        library.write(QByteArray(200, 'x'));
    }
    QTemporaryDir componentOnly;
    const QString component = QFileInfo(TOVO_HOST_PATH).dir().filePath("libquorix.so");
    ASSERT_TRUE(QFile::link(component, componentOnly.filePath("libquorix.so")));
    const struct
    {
        QString dir;
        QString reason; // what follows "cannot be loaded: "
    } cases[] = {
        {empty.path(),
         empty.filePath("libquorix.so") + ": cannot open shared object file: No such file or directory"},
        {broken.path(), broken.filePath("libquorix.so") + ": invalid ELF header"},
        {componentOnly.path(), componentOnly.filePath("libquorixapp.so") +
                                   ": cannot open shared object file: No such file or directory"},
    };
    for (const auto& c : cases) {
        QProcess host;
        startHost(host, c.dir, "host.sock", {"--addon-dir", c.dir});
        EXPECT_TRUE(host.waitForFinished(20000)) << c.dir.toStdString();
        host.kill();
        EXPECT_EQ(host.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(host.exitCode(), 1) << c.dir.toStdString();
        const QStringList errorLines =
            QString::fromLocal8Bit(host.readAllStandardError()).trimmed().split('\n');
        EXPECT_EQ(
            errorLines.last().toStdString(),
            QStringLiteral("tovo-host: the add-on in %1 cannot be loaded: %2; stopping (automation is on)")
                .arg(c.dir, c.reason)
                .toStdString())
            << "Qt's own warnings may come first";
    }
}

} // namespace
